#include "common/ui_text.h"

#include <atomic>

namespace velqor {

namespace {
std::atomic<UiTranslator> g_translator{nullptr};
}  // namespace

void SetUiTranslator(UiTranslator translator) {
  g_translator.store(translator, std::memory_order_release);
}

std::string UiText(const char* context, const char* text) {
  const UiTranslator translate = g_translator.load(std::memory_order_acquire);
  return translate != nullptr ? translate(context, text) : std::string(text);
}

std::string SubstituteArgs(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (n < args.size()) {
        out += *(args.begin() + n);
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

}  // namespace velqor
