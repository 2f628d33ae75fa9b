#pragma once
// The one way the tests wait for something that happens in another process.
#include <functional>

// Asks done every 50 ms until it answers true (then true) or a minute has
// passed (then false). done is asked at least once, before any wait.
bool pollUntil(const std::function<bool()>& done);
