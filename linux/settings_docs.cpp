// Writes the settings' parts of the XScreenSaver settings description and of the manual page
// from the core's tables (kSettings, and kSettingDocs for their words), so that a new setting
// shows in both without a hand-written line. Usage: rolvanta_settings_docs TEMPLATE OUTPUT; each
// line of the template that is only a marker such as @SLIDERS@ becomes those lines, and every
// other line is copied. A build tool, never installed.
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/settings.h"

namespace {

static_assert(sizeof kSettingDocs / sizeof kSettingDocs[0] == SettingCount,
              "each setting needs its row of kSettingDocs");

// The option, as the Linux options name it: the key in lower case.
std::string OptionName(const SettingRule& setting) {
    std::string name = setting.key;
    for (char& c : name) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return name;
}

std::string XmlText(const char* text) {
    std::string escaped;
    for (const char* at = text; *at != '\0'; ++at) {
        escaped += *at == '&' ? "&amp;" : *at == '<' ? "&lt;" : *at == '"' ? "&quot;" : std::string(1, *at);
    }
    return escaped;
}

// The page's sentences are filled to 78 columns, as its hand-written paragraphs are.
std::string Filled(const std::string& text) {
    std::istringstream words(text);
    std::string lines, line, word;
    while (words >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > 78) {
            lines += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return lines + line + "\n";
}

void Sliders(std::ostream& out) {
    for (int i = 0; i < SettingCount; ++i) {
        const SettingRule& setting = kSettings[i];
        const SettingDocs& docs = kSettingDocs[i];
        if (setting.ranged) {
            const std::string name = OptionName(setting);
            out << "  <number id=\"" << name << "\" type=\"slider\" arg=\"--" << name << " %\"\n"
                << "          _label=\"" << XmlText(docs.label) << "\" _low-label=\""
                << XmlText(docs.lowText) << "\" _high-label=\"" << XmlText(docs.highText) << "\"\n"
                << "          low=\"" << setting.minimum << "\" high=\"" << setting.maximum << "\" default=\""
                << setting.fallback << "\"/>\n\n";
        }
    }
}

// A flag that is off by default is a box that adds its option; one that is on, a box that adds
// the option's "no-" form when cleared. The description keeps the two kinds in columns of their own.
void Flags(std::ostream& out, bool on) {
    for (int i = 0; i < SettingCount; ++i) {
        const SettingRule& setting = kSettings[i];
        if (!setting.ranged && (setting.fallback != 0) == on) {
            const std::string name = OptionName(setting);
            out << "    <boolean id=\"" << name << "\" _label=\"" << XmlText(kSettingDocs[i].label) << "\" "
                << (on ? "arg-unset=\"--no-" : "arg-set=\"--") << name << "\"/>\n";
        }
    }
}

// The manual page lists the ranges first, then the flags, each in the table's order.
void Synopsis(std::ostream& out) {
    for (bool ranged : {true, false}) {
        for (const SettingRule& setting : kSettings) {
            if (setting.ranged == ranged) {
                const std::string name = OptionName(setting);
                out << "[\\fB\\-\\-" << name
                    << (ranged ? "\\fP \\fIn\\fP]\n" : "\\fP | \\fB\\-\\-no\\-" + name + "\\fP]\n");
            }
        }
    }
}

void Options(std::ostream& out) {
    for (bool ranged : {true, false}) {
        for (int i = 0; i < SettingCount; ++i) {
            const SettingRule& setting = kSettings[i];
            const SettingDocs& docs = kSettingDocs[i];
            if (setting.ranged == ranged) {
                const std::string name = OptionName(setting);
                std::ostringstream said;
                said << docs.manual;
                if (ranged) {
                    out << ".TP\n.BI \\-\\-" << name << " \" n\"\n";
                    said << ", " << setting.minimum << " to " << setting.maximum << ". Default " << setting.fallback;
                } else {
                    out << ".TP\n.BR \\-\\-" << name << " \", \" \\-\\-no\\-" << name << "\n";
                    said << ". Default " << (setting.fallback != 0 ? "on" : "off");
                }
                said << (docs.manualMore != nullptr ? docs.manualMore : ".");
                out << Filled(said.str());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: rolvanta_settings_docs TEMPLATE OUTPUT\n";
        return 1;
    }
    for (int i = 0; i < SettingCount; ++i) {
        if (std::strcmp(kSettings[i].key, kSettingDocs[i].key) != 0) {
            std::cerr << "rolvanta_settings_docs: kSettingDocs has " << kSettingDocs[i].key << " where kSettings has "
                      << kSettings[i].key << "\n";
            return 1;
        }
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "rolvanta_settings_docs: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream out;
    std::string line;
    while (std::getline(in, line)) {
        if (line == "@SLIDERS@") {
            Sliders(out);
        } else if (line == "@FLAGS_OFF@" || line == "@FLAGS_ON@") {
            Flags(out, line == "@FLAGS_ON@");
        } else if (line == "@SYNOPSIS@") {
            Synopsis(out);
        } else if (line == "@OPTIONS@") {
            Options(out);
        } else if (line.size() > 1 && line.front() == '@' && line.back() == '@') {
            std::cerr << "rolvanta_settings_docs: " << argv[1] << " has an unknown marker " << line << "\n";
            return 1;
        } else {
            out << line << "\n";
        }
    }
    std::ofstream file(argv[2], std::ios::binary);
    if (!(file << out.str()) || !file.flush()) {
        std::cerr << "rolvanta_settings_docs: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
