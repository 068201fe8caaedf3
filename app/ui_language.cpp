#include "app/ui_language.h"

#include <QCoreApplication>
#include <QString>
#include <algorithm>
#include <cctype>

#include "common/ini_file.h"
#include "common/ui_text.h"

namespace velqor {

namespace {

constexpr char kSection[] = "OPTION";
constexpr char kKey[] = "LANGUAGE";
constexpr char kEnglishTranslation[] = ":/i18n/velqor_en.qm";

std::string Trimmed(std::string_view text) {
  const auto notBlank = [](unsigned char c) { return std::isspace(c) == 0; };
  const auto begin = std::find_if(text.begin(), text.end(), notBlank);
  const auto end = std::find_if(text.rbegin(), text.rend(), notBlank).base();
  return begin < end ? std::string(begin, end) : std::string();
}

std::string TranslateForUi(const char* context, const char* text) {
  return QCoreApplication::translate(context, text).toStdString();
}

}  // namespace

std::optional<UiLanguage> ParseUiLanguage(std::string_view text) {
  std::string value = Trimmed(text);
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (value == "auto") return UiLanguage::Auto;
  if (value == "ja") return UiLanguage::Own;
  if (value == "en") return UiLanguage::English;
  return std::nullopt;
}

UiLanguage ResolveUiLanguage(std::optional<UiLanguage> commandLine, UiLanguage setting,
                             const QStringList& uiLanguages) {
  const UiLanguage chosen = commandLine.value_or(setting);
  if (chosen != UiLanguage::Auto) return chosen;
  if (uiLanguages.isEmpty()) return UiLanguage::Own;
  // "en", "en-US", "en_GB"; not "eo" or "ena".
  const QString first = uiLanguages.front();
  const bool english = first.compare(QStringLiteral("en"), Qt::CaseInsensitive) == 0 ||
                       first.startsWith(QStringLiteral("en-"), Qt::CaseInsensitive) ||
                       first.startsWith(QStringLiteral("en_"), Qt::CaseInsensitive);
  return english ? UiLanguage::English : UiLanguage::Own;
}

UiLanguage ReadUiLanguageSetting(const std::string& settingsPath, std::string* unknown) {
  const std::optional<std::string> value = IniFile(settingsPath).readValue(kSection, kKey);
  if (!value) return UiLanguage::Auto;
  if (const std::optional<UiLanguage> language = ParseUiLanguage(*value)) return *language;
  if (unknown != nullptr) *unknown = *value;
  return UiLanguage::Auto;
}

UiTranslation::UiTranslation() = default;

UiTranslation::~UiTranslation() { apply(UiLanguage::Own); }

bool UiTranslation::apply(UiLanguage language) {
  if (m_translator) {
    SetUiTranslator(nullptr);
    QCoreApplication::removeTranslator(m_translator.get());
    m_translator.reset();
  }
  m_language = UiLanguage::Own;
  if (language != UiLanguage::English) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QString::fromLatin1(kEnglishTranslation))) return false;
  QCoreApplication::installTranslator(translator.get());
  m_translator = std::move(translator);
  SetUiTranslator(&TranslateForUi);
  m_language = UiLanguage::English;
  return true;
}

}  // namespace velqor
