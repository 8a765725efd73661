/* A library that imports a library of its own folder (os_library_leaf.dll),
   as a Firebird client imports the runtime libraries beside it. */
__declspec(dllimport) int __cdecl leaf_answer(void);
__declspec(dllexport) int __cdecl user_answer(void) { return leaf_answer() + 1; }
