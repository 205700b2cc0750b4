// Pieces of the C++ runtime that the shipped programs define themselves
// instead of linking Debian's prebuilt ones, which are compiled for the
// Pentium Pro (CMOV) and bring in more than these programs use (the
// exception classes built on a second string type, the random device, the
// demangler and its printf).
//
// The programs are built without C++ exceptions (-fno-exceptions), which
// also keeps out GCC's prebuilt unwinder: where the C++ library would throw,
// the program ends through EndWithError, which each program defines for its
// kind (the window programs' error box, qrwpack.exe's line on stderr).
#include <cstdlib>
#include <new>
#include <string>

#include "program/runtime/end_with_error.h"

// Every std::string member, compiled here for the i586 instead of taken
// from the library's prebuilt instantiation.
template class std::__cxx11::basic_string<char>;

// The library's error reports: all of libstdc++'s functexcept.o, so that
// the prebuilt object is never linked beside these, and the std::function
// one of functional.o. The texts are those of the exceptions they stand for.
namespace std {

void __throw_bad_exception() { program::EndWithError("std::bad_exception"); }
void __throw_bad_alloc() { program::EndWithError("std::bad_alloc"); }
void __throw_bad_array_new_length() { program::EndWithError("std::bad_array_new_length"); }
void __throw_bad_cast() { program::EndWithError("std::bad_cast"); }
void __throw_bad_typeid() { program::EndWithError("std::bad_typeid"); }
void __throw_bad_function_call() { program::EndWithError("bad_function_call"); }
void __throw_logic_error(const char* what) { program::EndWithError(what); }
void __throw_domain_error(const char* what) { program::EndWithError(what); }
void __throw_invalid_argument(const char* what) { program::EndWithError(what); }
void __throw_length_error(const char* what) { program::EndWithError(what); }
void __throw_out_of_range(const char* what) { program::EndWithError(what); }
// The format's text stands for the message: its numbers are for a debugger.
void __throw_out_of_range_fmt(const char* format, ...) { program::EndWithError(format); }
void __throw_runtime_error(const char* what) { program::EndWithError(what); }
void __throw_range_error(const char* what) { program::EndWithError(what); }
void __throw_overflow_error(const char* what) { program::EndWithError(what); }
void __throw_underflow_error(const char* what) { program::EndWithError(what); }

}  // namespace std

// operator new and delete (libsupc++'s new_op.o and friends). The programs
// set no new handler, so a failed allocation ends the program at once.
void* operator new(std::size_t size) {
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  std::__throw_bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

// A pure virtual function called through an object under construction or
// destruction (libsupc++'s pure.o, which would end through the terminate
// handler and its unwinder).
extern "C" void __cxa_pure_virtual() { program::EndWithError("pure virtual method called"); }
