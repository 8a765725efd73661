/* A library that another one needs: loaded only through its user's imports. */
__declspec(dllexport) int __cdecl leaf_answer(void) { return 42; }
