#!/usr/bin/python3
"""Checks that every text a person reads can be shown in English.

1. i18n/velqor_en.ts is complete for the sources as they are: lupdate (the same extraction the
   build's velqor_app_lupdate target runs) is run over every source into a copy of the .ts, and
   the copy must have no unfinished, obsolete or vanished entry, every translation keeps
   the source's placeholders (%1 ... %9, %d) and line end, and the status bar's texts keep to
   Latin-1 (they are shown the way the adapter's texts are).
2. Widget code passes no text literal to a caption, hint, menu, message box or list straight
   through: the calls below take their texts from tr(), QT_TR_NOOP / QT_TRANSLATE_NOOP /
   VELQOR_TRANSLATE_NOOP constants or UiText(). ALLOWED lists the few literals that are no
   text for a person to read in another language.
3. No source outside the tests holds a Japanese text literal that is not marked for
   translation (a label, message or hint written in plain C++ code).

Usage: check_translations.py SOURCE_DIR LUPDATE
Exit 0 when all holds; otherwise each finding on standard error and exit 1.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# The folders whose sources lupdate reads (as app/CMakeLists.txt lists them).
SOURCE_DIRS = ["common", "link", "canlog", "transmit", "sim", "wave", "signals", "bridge",
               "widgets", "traffic", "config", "terminal", "dialogs", "app"]
LUPDATE_OPTIONS = ["-locations", "none", "-no-obsolete", "-tr-function-alias",
                   "QT_TRANSLATE_NOOP+=VELQOR_TRANSLATE_NOOP,QT_TRANSLATE_NOOP+=UiText"]
TS_FILE = os.path.join("i18n", "velqor_en.ts")

# Calls whose text arguments a person reads.
TEXT_CALLS = re.compile(
    r"(?:\b(?:setText|setWindowTitle|setToolTip|setStatusTip|setWhatsThis|setTitle|"
    r"setTitleText|setPlaceholderText|setHeaderLabels|addAction|addMenu|addTab|insertTab|"
    r"setTabText|addItem|addItems|insertItem|showMessage|setLabelText|Show|Confirm|"
    r"setHorizontalHeaderLabels|setVerticalHeaderLabels|addButton|addRow|setSuffix|setPrefix|"
    r"information|warning|critical|question|getSaveFileName|getOpenFileNames?)\s*\(|"
    r"\bnew\s+(?:QLabel|QPushButton|QCheckBox|QRadioButton|QGroupBox|QAction|QMenu|"
    r"QToolButton|SunkenPanel|RadioGroup)\s*\()")
# Wrappers whose arguments are translated texts (or the context they are filed under).
WRAPPERS = re.compile(r"\b(?:tr|UiText|translate|QT_TR_NOOP|QT_TRANSLATE_NOOP|"
                      r"VELQOR_TRANSLATE_NOOP)\s*\(")
STRING = re.compile(r'"(?:[^"\\\n]|\\.)*"')
JAPANESE = re.compile(r"[\u3000-\u30ff\u3400-\u9fff\uff00-\uffef]")

# Contexts whose texts reach the status bar and the Config page through the path that shows
# the adapter's own texts (Latin-1): their translations keep to Latin-1.
LATIN1_CONTEXTS = {"Status", "BusErrors"}
LATIN1_TEXTS = {("DeviceParameters", "F/W: %1"), ("DeviceParameters", "MCU: %1")}

# Literals that stay as they are in every language.
ALLOWED = {
    '"Velqor"',  # the program's name: the message boxes' caption
    '"COM%1"',  # the port names COM1 ... COM127, as the settings file numbers them
    # The shell command the slcan window offers to copy.
    '"slcand -o -c -s6 %1 slcan0 && ip link set "', '"slcan0 up"',
    # Font family names (widgets/fonts.h, terminal/terminal_window.cpp): not shown.
    '"ＭＳ Ｐゴシック"', '"ＭＳ ゴシック"', '"ＭＳ 明朝"',
}


def strip_comments(text):
    """The source with comments blanked out (string literals kept, line numbers kept)."""
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def closing_paren(text, open_at):
    """Index of the parenthesis closing the one at `open_at`, skipping literals."""
    depth = 0
    i = open_at
    while i < len(text):
        c = text[i]
        if c == '"':
            m = STRING.match(text, i)
            i = m.end() if m else i + 1
            continue
        if c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return i
        i += 1
    return len(text)


def blank_wrapped(text):
    """`text` with the arguments of every translation wrapper blanked out."""
    while True:
        m = WRAPPERS.search(text)
        if not m:
            return text
        end = closing_paren(text, m.end() - 1)
        text = text[:m.start()] + " " * (end + 1 - m.start()) + text[end + 1:]


# Control names (objectName), which local helpers take beside the caption: "BtnSingle",
# "Label5", "ChkLog", ...
CONTROL_NAME = re.compile(r'^"(?:Btn|Lab|Label|Edit|Chk|Cmb|Comb|Act|Panel|Pnl|Spin|Radio|Group)'
                          r'[A-Z0-9]\w*"$')


def has_letters(literal):
    text = re.sub(r"\\(?:u[0-9A-Fa-f]{4}|x[0-9A-Fa-f]{1,2}|.)", "", literal[1:-1])
    return any(ch.isalpha() for ch in text)


# Sources that are no part of the program a person uses: the screenshot tool types file
# names into the windows.
NOT_THE_PROGRAM = {os.path.join("app", "screenshots_main.cpp")}


def source_files(source_dir):
    for folder in SOURCE_DIRS:
        for root, _, files in os.walk(os.path.join(source_dir, folder)):
            for name in sorted(files):
                path = os.path.join(root, name)
                if (name.endswith((".cpp", ".h")) and
                        os.path.relpath(path, source_dir) not in NOT_THE_PROGRAM):
                    yield path


def is_widget_code(text):
    return re.search(r"#include <Q(?:Widget|Dialog|MainWindow|Label|PushButton|Menu|"
                     r"MessageBox|GroupBox|CheckBox|Action|TabWidget|FileDialog)\b", text)


def scan_sources(source_dir):
    findings = []
    for path in source_files(source_dir):
        with open(path, encoding="utf-8") as f:
            text = strip_comments(f.read())
        rel = os.path.relpath(path, source_dir)

        def where(offset):
            return "%s:%d" % (rel, text.count("\n", 0, offset) + 1)

        if is_widget_code(text):
            for m in TEXT_CALLS.finditer(text):
                end = closing_paren(text, m.end() - 1)
                args = blank_wrapped(text[m.end():end])
                for lit in STRING.finditer(args):
                    if (has_letters(lit.group(0)) and lit.group(0) not in ALLOWED and
                            not CONTROL_NAME.match(lit.group(0))):
                        findings.append("%s: %s passed to %s without tr()" %
                                        (where(m.end() + lit.start()), lit.group(0),
                                         m.group(0).strip()))
        bare = blank_wrapped(text)
        for lit in STRING.finditer(bare):
            if JAPANESE.search(lit.group(0)) and lit.group(0) not in ALLOWED:
                findings.append("%s: %s is not marked for translation" %
                                (where(lit.start()), lit.group(0)))
    return findings


def message_text(element):
    """The text of a <source> or <translation>, with lupdate's <byte value="xd"/> as \\r."""
    if element is None:
        return None
    parts = [element.text or ""]
    for child in element:
        if child.tag == "byte":
            parts.append(chr(int(child.get("value").lstrip("x"), 16)))
        parts.append(child.tail or "")
    return "".join(parts)


def check_ts(ts_path):
    findings = []
    root = ET.parse(ts_path).getroot()
    placeholder = re.compile(r"%(?:[1-9]|d)")
    for context in root.findall("context"):
        name = context.findtext("name")
        for message in context.findall("message"):
            source = message_text(message.find("source"))
            translation = message.find("translation")
            kind = translation.get("type") if translation is not None else "missing"
            label = "%s: %r" % (name, source)
            if kind in ("unfinished", "obsolete", "vanished", "missing"):
                findings.append("%s is %s in %s" % (label, kind, os.path.basename(ts_path)))
                continue
            text = message_text(translation)
            if source.strip() and not text.strip():
                findings.append("%s has an empty translation" % label)
            if sorted(placeholder.findall(source)) != sorted(placeholder.findall(text)):
                findings.append("%s: the translation %r does not keep the placeholders" %
                                (label, text))
            if name in LATIN1_CONTEXTS or (name, source) in LATIN1_TEXTS:
                try:
                    text.encode("latin-1")
                except UnicodeEncodeError:
                    findings.append("%s: the translation %r is not Latin-1" % (label, text))
            if source.endswith("\r\n") != text.endswith("\r\n"):
                findings.append("%s: the translation %r does not keep the line end" %
                                (label, text))
    return findings


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    source_dir, lupdate = sys.argv[1], sys.argv[2]
    findings = scan_sources(source_dir)
    with tempfile.TemporaryDirectory() as tmp:
        ts_copy = os.path.join(tmp, os.path.basename(TS_FILE))
        shutil.copyfile(os.path.join(source_dir, TS_FILE), ts_copy)
        list_file = os.path.join(tmp, "sources.lst")
        with open(list_file, "w", encoding="utf-8") as f:
            f.write("\n".join(source_files(source_dir)) + "\n")
        run = subprocess.run([lupdate, *LUPDATE_OPTIONS, "-I", source_dir, "@" + list_file,
                              "-ts", ts_copy], capture_output=True, text=True)
        if run.returncode != 0:
            findings.append("lupdate failed: " + run.stderr.strip())
        else:
            findings += check_ts(ts_copy)
    for finding in findings:
        sys.stderr.write(finding + "\n")
    if findings:
        sys.stderr.write("%d finding(s). Wrap texts in tr()/UiText, then run the build target "
                         "velqor_app_lupdate and translate what it adds to %s.\n" %
                         (len(findings), TS_FILE))
        return 1
    print("translations: complete")
    return 0


if __name__ == "__main__":
    sys.exit(main())
