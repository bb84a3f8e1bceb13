// What the library knows about its own unloading. The tables built at load live until the
// library's static objects are destroyed; how they give back the COM references they hold
// depends on why that happens.
#pragma once

namespace Util {

// True once the process has begun to terminate while the library is still loaded. The other
// modules of the process may already be gone then, so the tables must not call into the objects
// they hold: they drop their references without a call. Without that (FreeLibrary, dlclose),
// the tables give the references back with a plain IUnknown::Release, which is an in-process
// virtual call and no COM runtime call.
bool ProcessTerminating();

// Marks the process as terminating; called from the library's entry point.
void MarkProcessTerminating();

// Drops an owner's reference at unload: released while the library is being unloaded on its
// own, abandoned while the process terminates.
template <typename Owner>
void ReleaseAtUnload(Owner& owner) {
    if (ProcessTerminating()) {
        static_cast<void>(owner.Detach());
    } else {
        owner.Reset();
    }
}

}  // namespace Util
