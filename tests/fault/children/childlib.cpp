// A small shared library for the fault tests: calls back into the program,
// so a fault in the callback has a library frame in its call chain.
extern "C" __attribute__((visibility("default"), noinline)) int fault_child_call(int (*callback)(int), int value) {
  int result = callback(value);
  // Keeps the call from becoming a jump: this frame stays on the stack.
  asm volatile("" : "+r"(result));
  return result + 1;
}
