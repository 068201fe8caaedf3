#pragma once
// The language the windows speak: the program's own texts (Japanese where they are Japanese,
// the English captions as they are) or English throughout. Chosen by `--lang ja|en`, else by
// [OPTION] LANGUAGE of the settings file (auto, ja, en; auto when missing), where auto means
// English when the desktop's first UI language is English and the program's own texts in every
// other case (C and POSIX included).
//
// The English texts are i18n/velqor_en.ts, built into the program as :/i18n/velqor_en.qm.
// Nothing that goes to the adapter, into a log file or into the settings file changes with the
// language; the program never writes LANGUAGE, so a settings file keeps what the user put there.

#include <QStringList>
#include <QTranslator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velqor {

enum class UiLanguage { Auto, Own, English };

// "auto", "ja" or "en" (any case, blanks around ignored); nothing for any other text.
std::optional<UiLanguage> ParseUiLanguage(std::string_view text);

// The language to show (Own or English): `commandLine` when given, else `setting`; Auto is
// decided by the first entry of `uiLanguages` (QLocale::system().uiLanguages()).
UiLanguage ResolveUiLanguage(std::optional<UiLanguage> commandLine, UiLanguage setting,
                             const QStringList& uiLanguages);

// [OPTION] LANGUAGE of the settings file at `settingsPath`; Auto when the file or key is
// missing, and for a value other than auto/ja/en (`unknown` then holds the value).
UiLanguage ReadUiLanguageSetting(const std::string& settingsPath, std::string* unknown = nullptr);

// Installs the texts of one language into the application (Qt's tr() and the libraries'
// UiText). Lives as long as the windows; made after the QApplication, before the windows.
class UiTranslation {
 public:
  UiTranslation();
  ~UiTranslation();
  UiTranslation(const UiTranslation&) = delete;
  UiTranslation& operator=(const UiTranslation&) = delete;

  // Own removes any translation. Returns false when the English texts cannot be loaded (the
  // program's own texts then stay).
  bool apply(UiLanguage language);
  UiLanguage language() const { return m_language; }

 private:
  std::unique_ptr<QTranslator> m_translator;
  UiLanguage m_language = UiLanguage::Own;
};

}  // namespace velqor
