#pragma once

// Starts the vendors' version tools on workers of their own; each writes its
// result text when its tool has ended. The device checks only start them.
class ToolLauncher {
public:
    virtual ~ToolLauncher() = default;
    virtual void StartHubTool() = 0;
    virtual void StartDpTool() = 0;
};
