// Loaded at run time by library_test.cpp. MinGW exports every symbol of a DLL that marks none.
extern "C" {

int VexaTestLibAdd(int a, int b) {
  return a + b;
}

int vexa_testlib_answer = 42;

}  // extern "C"
