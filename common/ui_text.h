#pragma once
// Texts a person reads that plain C++ code composes: hints, message boxes, status and progress
// texts. A text is marked where it is written, with the context its translation is filed
// under, and looked up where it is shown. Until the program installs a translator (app/,
// at start) every text is the program's own; so the libraries' tests and velqor-cli see the
// program's own texts.
//
//   static constexpr char kHint[] = VELQOR_TRANSLATE_NOOP("DeviceParameters", "...");
//   show(UiText("DeviceParameters", kHint));
//   show(SubstituteArgs(UiText("ScriptSender", "wait：%1 msec"), {arg}));  // lupdate finds it
//
// Bytes for the adapter, log file contents and settings keys never go through here.

#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text for lupdate (an alias of QT_TRANSLATE_NOOP, see app/CMakeLists.txt); the text
// itself is unchanged.
#define VELQOR_TRANSLATE_NOOP(context, text) text

namespace velqor {

// Returns the translation of `text` filed under `context` (UTF-8), or `text` when there is none.
using UiTranslator = std::string (*)(const char* context, const char* text);

// Installs the translator (nullptr: none). Called on the GUI thread before other threads
// start; any thread may call UiText afterwards.
void SetUiTranslator(UiTranslator translator);

// `text` (UTF-8) in the language the program shows.
std::string UiText(const char* context, const char* text);
// %1 ... %9 in `pattern` replaced by `args` in order (a % not followed by the number of an
// argument stays as it is). Applied after the translation, so that a translation may move them.
std::string SubstituteArgs(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace velqor
