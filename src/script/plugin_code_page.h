// The 8-bit texts of plug-ins that only offer "RunTimeExecute": the system
// code page of the machine, Windows-1252 on the machines the engine
// simulates. Converting to 8 bits replaces characters the code page lacks by
// "?"; converting back maps every byte to a character (the five bytes the
// code page leaves undefined become the control characters of the same value).
#pragma once

#include <string>
#include <string_view>

namespace kestrawl::script {

std::string Utf8ToSystemCodePage(std::string_view text);
std::string SystemCodePageToUtf8(std::string_view text);

}  // namespace kestrawl::script
