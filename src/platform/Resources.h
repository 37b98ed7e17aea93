#pragma once

// The resources built into the program (drawings, report files).
namespace Resources {

// Makes them available; any number of calls.
void initialise();

} // namespace Resources
