#pragma once

#include "framework/OwnedHandle.h"

// One tool at a time on the machine, window or silent: two never talk to one
// dock at once. Held from construction until the object ends.
class SingleInstance {
public:
    SingleInstance();
    // False when another instance, of any user or session, holds it.
    bool Held() const { return m_held; }

private:
    UniqueKernelHandle m_mutex;
    bool m_held = false;
};
