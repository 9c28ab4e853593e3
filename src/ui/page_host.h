// How the engine shows its wizard pages. The wizard user interface provides
// the windows; without one (silent runs, tests, the console stand-in) every
// page ends at once as if its Next button had been pressed.
#pragma once

#include <cstddef>
#include <string>

namespace kestrawl::ui {

// Result codes of a page.
namespace page_result {
inline constexpr int kNotModal = 0;
inline constexpr int kFinished = 1;
inline constexpr int kCancel = 2;
inline constexpr int kNext = 6;
inline constexpr int kBack = 7;
inline constexpr int kCustom = 12;
}  // namespace page_result

class PageHost {
 public:
  virtual ~PageHost() = default;
  // Shows the page of the "Display Dialog" command with this index; returns
  // its result code, and for kCustom the button's name in *custom.
  virtual int ShowPage(size_t command_index, const std::string& definition, bool modal, std::string* custom) = 0;
  virtual void HidePage() = 0;
};

}  // namespace kestrawl::ui
