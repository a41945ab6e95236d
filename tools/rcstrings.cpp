// Reads the STRINGTABLE of a resource script and writes it as C++ source, so
// that the host build shows the same texts as the Windows build.
//   rcstrings RESOURCE_H SCRIPT_RC OUTPUT_CPP
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

static std::map<std::string, unsigned> ReadDefines(const char *path)
{
    std::map<std::string, unsigned> ids;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string hash, name, value;
        if (words >> hash >> name >> value && hash == "#define")
            ids[name] = (unsigned)strtoul(value.c_str(), nullptr, 0);
    }
    return ids;
}

// Unquotes an rc string: "" stands for one quote, \n and \t for their characters.
static bool ParseText(const std::string &s, size_t at, std::string *out)
{
    if (at >= s.size() || s[at] != '"')
        return false;
    for (size_t i = at + 1; i < s.size(); i++) {
        char c = s[i];
        if (c == '"') {
            if (i + 1 < s.size() && s[i + 1] == '"') {
                *out += '"';
                i++;
                continue;
            }
            return true;
        }
        if (c == '\\' && i + 1 < s.size()) {
            char e = s[++i];
            *out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            continue;
        }
        *out += c;
    }
    return false;
}

static std::string Escape(const std::string &s)
{
    std::string r;
    for (unsigned char c : s) {
        if (c == '\\' || c == '"')
            r += '\\', r += (char)c;
        else if (c == '\n')
            r += "\\n";
        else if (c < 32 || c >= 127) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\%03o", c);
            r += buf;
        } else
            r += (char)c;
    }
    return r;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: rcstrings RESOURCE_H SCRIPT_RC OUTPUT_CPP\n");
        return 1;
    }
    std::map<std::string, unsigned> ids = ReadDefines(argv[1]);
    std::ifstream in(argv[2]);
    std::ostringstream out;
    out << "// Generated from " << argv[2] << " by rcstrings. Do not edit.\n"
        << "#include <windows.h>\n\nconst PosixString g_posixStrings[] = {\n";
    std::string line;
    bool inTable = false, inBlock = false;
    int count = 0;
    while (std::getline(in, line)) {
        std::string word;
        std::istringstream(line) >> word;
        if (word == "STRINGTABLE") {
            inTable = true;
            continue;
        }
        if (!inTable)
            continue;
        if (word == "BEGIN") {
            inBlock = true;
            continue;
        }
        if (word == "END") {
            inTable = inBlock = false;
            continue;
        }
        size_t comma = line.find(',');
        if (!inBlock || comma == std::string::npos)
            continue;
        std::string name = line.substr(0, comma);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        unsigned id = ids.count(name) ? ids[name] : (unsigned)strtoul(name.c_str(), nullptr, 0);
        std::string text;
        size_t quote = line.find('"', comma);
        if (id == 0 || !ParseText(line, quote, &text)) {
            fprintf(stderr, "rcstrings: cannot read: %s\n", line.c_str());
            return 1;
        }
        out << "    {" << id << ", \"" << Escape(text) << "\"},\n";
        count++;
    }
    out << "    {0, nullptr}\n};\nconst size_t g_posixStringCount = " << count << ";\n";
    std::ofstream(argv[3]) << out.str();
    return 0;
}
