// The OCR library runs about eight times slower unless its thread pool is limited to one thread,
// and it reads the limit only when the process starts.
#pragma once

namespace kestrava::perception {

// Call first thing in main. When OMP_THREAD_LIMIT is absent, sets it to 1 and re-executes the
// program with the same arguments (once: the new process finds it set). Returns true when the
// variable was already present; false when the re-execution failed and the program goes on
// without it.
bool EnsureOmpThreadLimit(int argc, char** argv);

}  // namespace kestrava::perception
