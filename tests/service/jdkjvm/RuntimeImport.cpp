// Makes the test JVM import the stand-in runtime DLL, as a JDK's jvm.dll
// imports the C runtime: the library loads only where that DLL is found.
extern "C" __declspec(dllimport) int jdkRuntimeProbe();

namespace {
[[maybe_unused]] const int runtimeLinked = jdkRuntimeProbe();
}
