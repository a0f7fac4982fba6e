// What the installation and the Debian package give a user beyond the programs:
// the short top-level help, the man page and the bash completion, all checked
// against what the built command itself accepts and prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

namespace {

using vtest::CliRun;
using vtest::RunCli;
using vtest::RunShell;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The "Subcommands:" list of `vellora --help`: name and the rest of its line(s).
std::vector<std::pair<std::string, std::vector<std::string>>> CommandList() {
    const CliRun help = RunCli("--help");
    EXPECT_EQ(help.status, 0) << help.out;
    std::vector<std::pair<std::string, std::vector<std::string>>> list;
    bool in_list = false;
    for (const std::string& line : Lines(help.out)) {
        if (line == "Subcommands:") {
            in_list = true;
        } else if (in_list && line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ') {
            std::istringstream words(line);
            std::string name;
            words >> name;
            list.push_back({name, {line}});
        } else if (in_list && line.rfind("   ", 0) == 0 && !list.empty()) {
            list.back().second.push_back(line);
        } else if (in_list) {
            in_list = false;
        }
    }
    return list;
}

// The option names a command's --help lists ("-q", "--quiet", "--host", ...).
std::vector<std::string> HelpOptions(const std::string& command) {
    const CliRun help = RunCli(command + " --help");
    EXPECT_EQ(help.status, 0) << help.out;
    std::vector<std::string> names;
    for (const std::string& line : Lines(help.out)) {
        if (line.rfind("  -", 0) != 0) continue;
        std::string first = line.substr(2, line.find_first_of(" =", 2) - 2);
        std::istringstream parts(first);
        for (std::string name; std::getline(parts, name, ',');) names.push_back(name);
    }
    return names;
}

std::set<std::string> Words(const std::string& text) {
    std::set<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.insert(word);
    return words;
}

// `vellora`'s bash completion for the words typed so far (the last one being
// completed), run in an empty folder so file names offer nothing.
// What completes `typed` in an empty folder, or one holding `file`.
std::set<std::string> Complete(const std::vector<std::string>& typed, const std::string& file = "") {
    vtest::TempDir dir;
    if (!file.empty()) std::ofstream(dir.Path(file)) << "{}";
    std::string words = "vellora";
    for (const std::string& w : typed) words += " '" + w + "'";
    const CliRun run = RunShell("cd '" + dir.Dir() + "' && bash -c 'source \"$0\"; COMP_WORDS=(\"$@\"); "
                                "COMP_CWORD=$(($# - 1)); _vellora; printf \"%s\\n\" \"${COMPREPLY[@]}\"' '" +
                                    std::string(VELLORA_BUILD_DIR) + "/packaging/vellora.bash' " + words,
                                false);
    EXPECT_EQ(run.status, 0) << run.err;
    return Words(run.out);
}

// The top-level help names each command in one line that fits 80 columns; the
// command's own help opens with that line and keeps its whole description.
TEST(CommandLineHelp, ListsEachCommandOnOneLineAndKeepsTheWholeTextForItsOwnHelp) {
    const auto list = CommandList();
    ASSERT_FALSE(list.empty());
    const CliRun top = RunCli("--help");
    EXPECT_LE(Lines(top.out).size(), 25u) << top.out;
    std::string names;
    for (const auto& [name, lines] : list) {
        names += (names.empty() ? "" : " ") + name;
        ASSERT_EQ(lines.size(), 1u) << name << " takes " << lines.size() << " lines";
        EXPECT_LE(lines[0].size(), 80u) << lines[0];
        const std::string summary = lines[0].substr(lines[0].find_first_not_of(' ', 2 + name.size()));
        const std::vector<std::string> own = Lines(RunCli(name + " --help").out);
        ASSERT_GE(own.size(), 3u);
        EXPECT_EQ(own[0], summary) << name;
        // The description's next paragraph is there, and only there.
        EXPECT_TRUE(own[1].empty()) << own[1];
        EXPECT_EQ(top.out.find(own[2]), std::string::npos) << name << "'s long text is in vellora --help";
    }
    // The same commands the command line accepts, in order.
    const CliRun none = RunCli("");
    std::string expected = none.out.substr(none.out.find(": ", 10) + 2);
    expected = expected.substr(0, expected.find(" ("));
    std::string listed = expected;
    std::replace(listed.begin(), listed.end(), ',', ' ');
    const size_t or_at = listed.rfind(" or ");
    if (or_at != std::string::npos) listed.replace(or_at, 4, " ");
    EXPECT_EQ(Words(listed), Words(names)) << none.out;
}

// vellora(1) shows every command, and under it every option its --help lists,
// with no complaint from groff.
TEST(ManPage, ShowsEveryCommandAndEveryOptionOfIt) {
    const std::string page_file = std::string(VELLORA_BUILD_DIR) + "/packaging/vellora.1.gz";
    const CliRun man = RunShell("LANG=C MANWIDTH=250 man --warnings -l '" + page_file + "'", false);
    ASSERT_EQ(man.status, 0) << man.err;
    EXPECT_EQ(man.err, "");
    const std::vector<std::string> page = Lines(man.out);
    for (const auto& [name, lines] : CommandList()) {
        const auto heading = std::find(page.begin(), page.end(), "   " + name);
        ASSERT_NE(heading, page.end()) << "no section for " << name;
        auto end = std::find_if(heading + 1, page.end(), [](const std::string& l) {
            return l.size() > 3 && l.rfind("   ", 0) == 0 && l[3] != ' ';
        });
        std::set<std::string> shown;
        for (auto it = heading; it != end; ++it) {
            std::string line = *it;
            std::replace(line.begin(), line.end(), ',', ' ');
            for (const std::string& w : Words(line)) shown.insert(w);
        }
        for (const std::string& option : HelpOptions(name)) {
            EXPECT_TRUE(shown.count(option)) << option << " of " << name << " is not in the man page";
        }
    }
    // Option names in the source are minus signs (\-), not hyphens: groff
    // turns a bare "-" into a hyphen in PDF and PostScript, and Debian's man
    // only hides that in a terminal.
    const CliRun source = RunShell("zcat '" + page_file + "'", false);
    ASSERT_EQ(source.status, 0) << source.err;
    std::smatch bare;
    EXPECT_FALSE(std::regex_search(source.out, bare, std::regex("(^|[^\\\\])--?[a-z]")))
        << "a bare hyphen in '" << bare.str() << "'";
    EXPECT_NE(source.out.find("\\-\\-falloff"), std::string::npos);
}

// Completion offers the commands, every option a command's --help lists, and
// after an option with named values only values the command accepts.
TEST(BashCompletion, OffersTheCommandsTheirOptionsAndValuesTheCommandAccepts) {
    std::set<std::string> commands;
    for (const auto& entry : CommandList()) commands.insert(entry.first);
    std::set<std::string> offered = Complete({""});
    for (const std::string& c : commands) EXPECT_TRUE(offered.count(c)) << c;
    EXPECT_EQ(Complete({"ren"}), std::set<std::string>{"render"});
    // After a flag, which takes no value, options complete again.
    EXPECT_EQ(Complete({"render", "--invert", "--fall"}), std::set<std::string>{"--falloff"});
    EXPECT_EQ(Complete({"render", "-q", "--fall"}), std::set<std::string>{"--falloff"});
    // A file after an option that takes one, none after a number.
    EXPECT_EQ(Complete({"render", "--params", "lo"}, "look.json"), std::set<std::string>{"look.json"});
    EXPECT_EQ(Complete({"render", "--width", ""}, "look.json"), std::set<std::string>{});

    for (const std::string& command : commands) {
        const std::vector<std::string> options = HelpOptions(command);
        EXPECT_EQ(Complete({command, "-"}), std::set<std::string>(options.begin(), options.end())) << command;
    }

    vtest::TempDir dir;
    int with_values = 0;
    for (const std::string& option : HelpOptions("render")) {
        for (const std::string& value : Complete({"render", option, ""})) {
            ++with_values;
            // A one-frame clip, so the clip options apply too, in TIFF, which keeps every depth;
            // --depth float is Premiere's, 16 After Effects' (the default host).
            const std::string args =
                "render testcard:8x8 " + dir.Arg("out.####.tif") + " --frames 1 -q " + option + " '" + value + "'";
            const bool accepted = RunCli(args).status == 0 || RunCli(args + " --host premiere").status == 0;
            EXPECT_TRUE(accepted) << "completion offers " << option << " " << value << ", which render refuses";
        }
    }
    EXPECT_GE(with_values, 10) << "too few options complete their values";
}

// A Debian package from a build configured for another prefix would put MLT's
// module where Debian's MLT never looks: CPack refuses it, saying why.
TEST(Package, RefusedFromABuildForAnotherPrefix) {
    const std::string cache = vtest::FileText(std::string(VELLORA_BUILD_DIR) + "/CMakeCache.txt");
    if (cache.find("CMAKE_INSTALL_PREFIX:PATH=/usr\n") != std::string::npos) {
        GTEST_SKIP() << "this build is configured for /usr";
    }
    vtest::TempDir dir;
    const CliRun cpack = RunShell("cd '" + std::string(VELLORA_BUILD_DIR) + "' && cpack -G DEB -B '" + dir.Dir() + "'");
    EXPECT_NE(cpack.status, 0) << cpack.out;
    EXPECT_NE(cpack.out.find("-DCMAKE_INSTALL_PREFIX=/usr"), std::string::npos) << cpack.out;
    for (const std::string& name : dir.Names()) EXPECT_EQ(name.find(".deb"), std::string::npos) << name;
}

}  // namespace
