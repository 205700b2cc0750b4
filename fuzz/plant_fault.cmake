# Copies the flash procedure with one fault planted: the read-back lets a
# difference in the last chunk pass, so the final flash command follows a
# failed read-back. Fails when the line it changes is no longer there.
#   cmake -DIN=<flash_procedure.cpp> -DOUT=<copy> -P plant_fault.cmake
file(READ ${IN} text)
set(line "if (std::memcmp(buffer, w_.package.ImageArea() + offset, kChunkLength) != 0) {")
set(planted "if (std::memcmp(buffer, w_.package.ImageArea() + offset, kChunkLength) != 0 && chunk + 1 < ChunkCount()) {")
string(FIND "${text}" "${line}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "plant_fault: the read-back compare is not where it was; update the planted fault")
endif()
string(REPLACE "${line}" "${planted}" text "${text}")
file(WRITE ${OUT} "${text}")
