// A registry held in memory in the system store's place, so that tests of
// settings neither read nor write the user's.
#pragma once

namespace zw::platform {

// Switches every RegistryKey of the process to a fresh, empty in-memory store
// (true) or back to the system's store (false). Not while keys are open.
void UseMemoryRegistry(bool on);

}  // namespace zw::platform
