#pragma once
// The JNIEnv functions of the bridge: each forwarded one is a request on the
// calling thread's conversation; every other slot prints its name and answers
// an error value.
namespace bridge {

// Fills g_functions.
void setUpJniFunctions();

}  // namespace bridge
