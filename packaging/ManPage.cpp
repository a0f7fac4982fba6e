#include "packaging/ManPage.h"

#include <sstream>

namespace vpackaging {

namespace {

// Text for roff: backslashes escaped, hyphens kept as hyphens (so options copy
// and search as typed), and no line that starts as a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    std::string safe;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && (line[0] == '.' || line[0] == '\'')) line = "\\&" + line;
        safe += line + "\n";
    }
    return safe;
}

void Options(std::ostringstream& out, const std::vector<CliOption>& options) {
    std::string group;
    for (const CliOption& o : options) {
        if (!o.positional && o.group != group && o.group != "Options") out << ".PP\n" << Roff(o.group + ":");
        group = o.group;
        // The heading is one line: names escaped here, as Roff would end them with a newline.
        std::string head;
        for (const std::string& name : o.names) {
            head += (head.empty() ? "" : ", ") + std::string(o.positional ? "\\fI" : "\\fB");
            for (char c : name) head += c == '-' ? std::string("\\-") : std::string(1, c);
            head += "\\fR";
        }
        if (!o.positional && o.takes_value && !o.value_name.empty()) {
            std::string value = Roff(o.value_name);
            value.pop_back();  // the newline Roff ends every line with
            head += " \\fI" + value + "\\fR";
        }
        out << ".TP\n" << head << "\n" << Roff(o.help);
    }
}

}  // namespace

std::string ManPage(const CliModel& cli, const std::string& version, const std::string& module_file) {
    std::ostringstream out;
    out << ".TH VELLORA 1 \"\" \"vellora " << version << "\" \"User Commands\"\n";
    out << ".SH NAME\nvellora \\- apply the Vellora soft\\-mask video effect through its reference host\n";
    out << ".SH SYNOPSIS\n";
    for (const CliCommand& c : cli.commands) out << ".B " << Roff(c.usage) << ".br\n";
    out << ".B vellora\n\\fICOMMAND\\fR \\fB\\-\\-help\\fR\n";
    out << ".SH DESCRIPTION\n";
    std::istringstream description(cli.description);
    for (std::string paragraph; std::getline(description, paragraph);) out << ".PP\n" << Roff(paragraph);
    out << ".SH OPTIONS\n";
    Options(out, cli.global_options);
    out << ".SH COMMANDS\n";
    for (const CliCommand& c : cli.commands) {
        out << ".SS " << Roff(c.name) << ".PP\n" << Roff(c.summary);
        out << ".PP\n.B " << Roff(c.usage);
        for (const std::string& p : c.paragraphs) out << ".PP\n" << Roff(p);
        Options(out, c.options);
    }
    out << ".SH ENVIRONMENT\n.TP\n.B VELLORA_MODULE\n"
        << Roff("The plug-in module every command loads when none is named with --module.");
    out << ".SH FILES\n.TP\n.I " << Roff(module_file)
        << Roff("The plug-in module vellora loads by default.");
    out << ".SH EXIT STATUS\n"
        << Roff("0 on success, 1 on any error (named on standard error), 130 or 143 when a clip's render is "
                "stopped by SIGINT or SIGTERM.");
    out << ".SH SEE ALSO\n.BR ffmpeg (1),\n.BR melt (1),\n.BR gst\\-launch\\-1.0 (1)\n";
    return out.str();
}

}  // namespace vpackaging
