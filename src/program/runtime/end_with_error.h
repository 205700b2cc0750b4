// How a program built on these runtime pieces ends on a fault its own logic
// cannot go on from: the C++ library reporting memory exhausted or a broken
// rule (the programs are built without C++ exceptions, so the library's
// error reports come here), or a window that cannot be made. Each program
// defines it for its kind: the window programs show the standard error box
// (src/program/end_with_error.cpp), qrwpack.exe writes a line to its error
// stream.
#pragma once

namespace program {

[[noreturn]] void EndWithError(const char* what);

}  // namespace program
