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

std::string ManPage(const CliModel& cli, const std::string& version, const InstalledPaths& paths) {
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
    out << ".SH FILTERS AND EDITORS\n"
        << Roff("The same effect, from the same module's code, runs inside other programs; each is installed "
                "with the command (see FILES) and renders as vellora render does with the same values.");
    const char* filters[][2] = {
        {"frei0r filter \"vellora\"",
         "For ffmpeg (frei0r=filter_name=vellora:filter_params=...), GStreamer (the element "
         "frei0r-filter-vellora) and MLT (frei0r.vellora); parameters as frei0r's 0 to 1 values."},
        {"MLT filter \"vellora\"",
         "For melt, Kdenlive and Shotcut: the box as rect=\"X Y W H\" in the profile's pixels (or percent), "
         "the other values by their --params names, each keyframable in MLT's animation syntax."},
        {"Kdenlive", "The effect \"Vellora mask\", with the box's handles in the project monitor; and "
                     "\"Vellora shape (mask)\", which limits the effects after it, up to \"Mask Apply\", to the mask."},
        {"Shotcut", "The filter \"Mask: Vellora\", with on-video handles that move, resize, turn, feather and "
                    "fade the mask; and \"Mask: Vellora Shape\", which limits the filters after it, up to "
                    "\"Mask: Apply\", to the mask."},
        {"OBS Studio", "The filter \"Vellora Mask\" on any source (package vellora-obs)."},
        {"Python", "import vellora: NumPy frames through the effect (package python3-vellora)."},
    };
    for (const auto& f : filters) out << ".TP\n.B " << Roff(f[0]) << Roff(f[1]);
    out << ".SH EXAMPLES\n";
    const char* examples[][2] = {
        {"The test card, masked by a soft ellipse:", "vellora render testcard: out.png --feather 150 --falloff gaussian"},
        {"A float EXR as Premiere renders it, the values from a file:",
         "vellora render photo.exr out.exr --host premiere --depth float --params look.json"},
        {"A frame sequence with keyframed values:",
         "vellora render 'frames/in.%06d.png' 'frames/out.%06d.png' --keys keys.json --fps 30000/1001"},
        {"The frame with the handles the effect draws:", "vellora overlay testcard: view.png --angle 30"},
        {"In melt, the box moving over two seconds:",
         "melt clip.mp4 -filter vellora rect=\"0=100 40 240 160;48=292 136 336 208\" falloff=gaussian feather=40"},
        {"In melt, a blur inside the mask only (MLT's mask_start runs the filter, mask_apply puts the result over the "
         "frame):",
         "melt clip.mp4 -filter mask_start filter=vellora filter.rect=\"340 160 600 400\" filter.feather=40 "
         "-filter box_blur hradius=20 vradius=20 -filter mask_apply"},
    };
    for (const auto& e : examples) out << ".PP\n" << Roff(e[0]) << ".PP\n.RS\n.nf\n" << Roff(e[1]) << ".fi\n.RE\n";
    out << ".SH ENVIRONMENT\n.TP\n.B VELLORA_MODULE\n"
        << Roff("The plug-in module every command loads when none is named with --module.");
    out << ".SH FILES\n";
    const std::string files[][2] = {
        {paths.module, "The plug-in module vellora loads by default."},
        {paths.frei0r, "The frei0r filter, where frei0r hosts look."},
        {paths.mlt, "The MLT filter."},
        {paths.mlt_yaml, "The MLT filter's metadata (melt -query filter=vellora)."},
        {paths.kdenlive, "Kdenlive's descriptor of the effect."},
        {paths.kdenlive_mask, "Kdenlive's descriptor of its mask variant, \"Vellora shape (mask)\"."},
        {paths.shotcut, "Shotcut's filter folder: metadata, panel and on-video handles."},
        {paths.shotcut_mask, "Shotcut's folder of the mask variant, \"Mask: Vellora Shape\"."},
        {paths.completion, "The bash completion of vellora."},
        {paths.docs, "The README and the documentation: commands, clips, editors, filters, Python and OBS."},
    };
    for (const auto& f : files) out << ".TP\n.I " << Roff(f[0]) << Roff(f[1]);
    out << ".SH EXIT STATUS\n"
        << Roff("0 on success, 1 on any error (named on standard error), 130 or 143 when a clip's render is "
                "stopped by SIGINT or SIGTERM.");
    out << ".SH SEE ALSO\n.BR ffmpeg (1),\n.BR melt (1),\n.BR gst\\-launch\\-1.0 (1)\n";
    return out.str();
}

}  // namespace vpackaging
