#pragma once

#include <optional>
#include <string>

// A vendor tool whose file is not where the program looks for it: beside the
// program, in its "Tool" folder. The installation is broken.
struct MissingTool {
    std::wstring name;  // the tool's file name
    std::wstring path;  // where it was looked for
};

// Starts the vendors' version tools on workers of their own; each writes its
// result text when its tool has ended. The device checks only start them.
// A tool whose file is missing is still run and fails as any tool that
// cannot start, which its result tells; the start also names it, for the log.
class ToolLauncher {
public:
    virtual ~ToolLauncher() = default;
    virtual std::optional<MissingTool> StartHubTool() = 0;
    virtual std::optional<MissingTool> StartDpTool() = 0;
};
