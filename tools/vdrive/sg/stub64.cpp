// The SG front's empty 64-bit namesake: what the 64-bit processes of a Wine
// run load through LD_PRELOAD's $LIB. Nothing of theirs is served.
