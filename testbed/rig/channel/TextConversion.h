#pragma once

#include <string>
#include <string_view>

// docksim's requests and replies travel as UTF-8; paths and captions are
// wide on the Windows side.
namespace rig {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace rig
