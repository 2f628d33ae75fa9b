// Makes a library import the stand-in runtime DLL: the test JVM, as a JDK's
// jvm.dll imports the C runtime, or a JNI library, as one imports a DLL of its
// own. The library loads only where that DLL is found.
extern "C" __declspec(dllimport) int jdkRuntimeProbe();

namespace {
[[maybe_unused]] const int runtimeLinked = jdkRuntimeProbe();
}
