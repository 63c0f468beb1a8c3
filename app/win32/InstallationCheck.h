#pragma once

#include <optional>
#include <string>
#include <vector>

#include "framework/OwnedHandle.h"

// The program's folder, Tool, Tool\Mega and the two vendor tools, read off
// handles on the objects their paths reach, and judged before anything runs
// as the system, with the folders above. The objects stay open, without
// write or delete sharing, for as long as this lives, so nothing is changed
// or replaced between the check and the tools' end.
class InstallationCheck {
public:
    // Why the installation cannot be trusted, or nothing.
    std::optional<std::wstring> Refusal();

private:
    std::vector<UniqueFileHandle> m_held;
};
