// Stands for the C runtime DLLs that a JDK keeps in its bin folder, above the
// bin\server folder of jvm.dll.
extern "C" __declspec(dllexport) int jdkRuntimeProbe() { return 1; }
