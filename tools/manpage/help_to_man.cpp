// quenlo-help-to-man: makes a manual page from a program's own --help texts,
// so that the page and the help can never say different things.
//
//   quenlo-help-to-man TEMPLATE OUTPUT PROGRAM
//
// TEMPLATE is roff. Two kinds of comment lines in it are replaced by what
// PROGRAM prints when run with the words after the colon:
//   .\" usage: ARGS   only the help's "Usage:" lines, as synopsis lines
//   .\" body: ARGS    the help without its "Usage:" lines
//   .\" help: ARGS    the whole help: its usage, then its paragraphs and lists
// Every other line is copied unchanged. A help that cannot be read (the
// program fails or prints nothing) fails the whole page, so that a build
// never ships a page with a hole in it.
//
// The help texts follow one layout: "Usage: ..." (continued on lines
// indented to the text after "Usage: "), then paragraphs separated by blank
// lines. A paragraph of one line ending in ':' heads the list below it. A
// list entry is indented, its term separated from its description by two or
// more spaces; deeper indented lines continue the description.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

size_t Indentation(const std::string& line) {
    size_t n = 0;
    while (n < line.size() && line[n] == ' ')
        ++n;
    return n;
}

bool IsBlank(const std::string& line) {
    return Indentation(line) == line.size();
}

// Runs program with args; its standard output, or false when it could not
// be run or did not end with status 0.
bool Capture(const std::string& program, const std::vector<std::string>& args,
             std::string* output) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        std::_Exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            output->append(buffer, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !output->empty();
}

// Plain text for roff: backslashes written out, hyphens of options as minus
// signs (so that a copied option still works), and a line that would start
// with a control character made harmless.
std::string Escape(const std::string& text) {
    std::string out;
    bool inOption = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            inOption = false;
        } else if (c == '-' && !inOption) {
            // A word that starts with '-', after any opening punctuation.
            const bool wordStart = i == 0 || std::strchr(" \t([\"'", text[i - 1]) != nullptr;
            inOption = wordStart;
        }
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && inOption)
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

bool IsMetaVariable(const std::string& word) {
    if (word.empty() || !std::isupper(static_cast<unsigned char>(word[0])))
        return false;
    for (char c : word) {
        if (!std::isupper(static_cast<unsigned char>(c)) &&
            !std::isdigit(static_cast<unsigned char>(c)) && c != '_')
            return false;
    }
    return true;
}

// A synopsis or a list term: literal words in bold, placeholders (PATH,
// ADDR...) in italics, the punctuation between them plain.
std::string FormatTerm(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (std::strchr(" []()|,=.", c) != nullptr) {
            out += c;
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && std::strchr(" []()|,=", text[end]) == nullptr) {
            // Trailing dots ("ADDR...") stay outside the word.
            if (text[end] == '.' && text.compare(end, 3, "...") == 0)
                break;
            ++end;
        }
        const std::string word = text.substr(i, end - i);
        // A literal is typed as it stands: every hyphen in it is a minus.
        std::string escaped;
        for (char w : word)
            escaped += w == '-'    ? std::string("\\-")
                       : w == '\\' ? std::string("\\e")
                                   : std::string(1, w);
        out += (IsMetaVariable(word) ? "\\fI" : "\\fB") + escaped + "\\fR";
        i = end;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

struct Help {
    std::vector<std::string> usage; // synopsis lines, "Usage: " taken off
    std::vector<std::string> body;  // the rest
};

bool ParseHelp(const std::string& text, Help* help, std::string* why) {
    const std::vector<std::string> lines = SplitLines(text);
    const std::string prefix = "Usage: ";
    if (lines.empty() || lines[0].compare(0, prefix.size(), prefix) != 0) {
        *why = "the help does not begin with \"Usage: \"";
        return false;
    }
    size_t i = 0;
    help->usage.push_back(lines[0].substr(prefix.size()));
    for (i = 1; i < lines.size() && !IsBlank(lines[i]) && Indentation(lines[i]) == prefix.size();
         ++i)
        help->usage.push_back(lines[i].substr(prefix.size()));
    help->body.assign(lines.begin() + long(i), lines.end());
    return true;
}

void WriteUsage(const Help& help, std::ostream& out) {
    for (size_t i = 0; i < help.usage.size(); ++i) {
        if (i > 0)
            out << ".br\n";
        out << FormatTerm(help.usage[i]) << "\n";
    }
}

// One list: entries whose term starts at the list's indentation.
size_t WriteList(const std::vector<std::string>& lines, size_t i, std::ostream& out) {
    const size_t indent = Indentation(lines[i]);
    while (i < lines.size() && !IsBlank(lines[i]) && Indentation(lines[i]) >= indent) {
        const std::string entry = lines[i].substr(indent);
        const size_t gap = entry.find("  ");
        const std::string term = entry.substr(0, gap);
        out << ".TP\n" << FormatTerm(term) << "\n";
        if (gap != std::string::npos)
            out << Escape(entry.substr(Indentation(entry.substr(gap)) + gap)) << "\n";
        for (++i; i < lines.size() && !IsBlank(lines[i]) && Indentation(lines[i]) > indent; ++i)
            out << Escape(lines[i].substr(Indentation(lines[i]))) << "\n";
    }
    return i;
}

void WriteBody(const std::vector<std::string>& lines, std::ostream& out) {
    size_t i = 0;
    while (i < lines.size()) {
        if (IsBlank(lines[i])) {
            ++i;
            continue;
        }
        if (Indentation(lines[i]) > 0) {
            i = WriteList(lines, i, out);
            continue;
        }
        size_t end = i;
        while (end < lines.size() && !IsBlank(lines[end]) && Indentation(lines[end]) == 0)
            ++end;
        const bool heading = end - i == 1 && lines[i].back() == ':' && end < lines.size() &&
                             Indentation(lines[end]) > 0 && !IsBlank(lines[end]);
        out << ".PP\n";
        if (heading) {
            out << "\\fB" << Escape(lines[i]) << "\\fR\n";
        } else {
            for (size_t k = i; k < end; ++k)
                out << Escape(lines[k]) << "\n";
        }
        i = end;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: quenlo-help-to-man TEMPLATE OUTPUT PROGRAM\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "quenlo-help-to-man: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream page;
    enum class Part { Usage, Body, Whole };
    const struct {
        std::string mark;
        Part part;
    } kMarks[] = {
        {".\\\" usage:", Part::Usage},
        {".\\\" body:", Part::Body},
        {".\\\" help:", Part::Whole},
    };
    for (std::string line; std::getline(in, line);) {
        const auto* mark = std::find_if(std::begin(kMarks), std::end(kMarks), [&](const auto& m) {
            return line.compare(0, m.mark.size(), m.mark) == 0;
        });
        if (mark == std::end(kMarks)) {
            page << line << "\n";
            continue;
        }
        const std::vector<std::string> args = SplitWords(line.substr(mark->mark.size()));
        std::string text;
        std::string why = "it failed or printed nothing";
        Help help;
        if (!Capture(argv[3], args, &text) || !ParseHelp(text, &help, &why)) {
            std::cerr << "quenlo-help-to-man: no help from " << argv[3] << " for \""
                      << line.substr(mark->mark.size()) << "\": " << why << "\n";
            return 1;
        }
        if (mark->part == Part::Usage) {
            page << ".PP\n";
            WriteUsage(help, page);
            continue;
        }
        if (mark->part == Part::Whole) {
            page << ".PP\n.nf\n";
            for (const std::string& usage : help.usage)
                page << FormatTerm(usage) << "\n";
            page << ".fi\n";
        }
        WriteBody(help.body, page);
    }
    std::ofstream out(argv[2], std::ios::trunc);
    out << page.str();
    out.close();
    if (!out) {
        std::cerr << "quenlo-help-to-man: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
