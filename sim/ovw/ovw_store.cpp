#include "ovw_store.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

std::string OvwStorePath()
{
    const char *path = getenv("OVW_SIM_DB");
    return path && *path ? path : "ovw-db.txt";
}

bool OvwLoad(const std::string &path, OvwStore &store)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    fclose(f);

    store = OvwStore();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "sets") {
            if (!(words >> store.sets))
                return false;
        } else if (kind == "field") {
            unsigned int id;
            std::string type, name;
            if (!(words >> id >> type) || (type != "boolean" && type != "string"))
                return false;
            words.get();
            std::getline(words, name);
            store.fields[id] = OvwField{name, type == "boolean"};
        } else if (kind == "object") {
            unsigned int id;
            if (!(words >> id))
                return false;
            std::string name;
            words.get();
            std::getline(words, name);
            store.objects[id] = name;
        } else if (kind == "value") {
            unsigned int object, field, value;
            if (!(words >> object >> field >> value))
                return false;
            store.values[std::make_pair(object, field)] = value;
        } else
            return false;
    }
    return true;
}

std::string OvwList(const OvwStore &store)
{
    std::ostringstream out;
    out << store.sets << " sets\n";
    for (const auto &object : store.objects) {
        out << std::left << std::setw(30) << object.second;
        for (const auto &field : store.fields) {
            auto value = store.values.find(std::make_pair(object.first, field.first));
            if (field.second.boolean)
                out << "  " << field.second.name << "="
                    << (value == store.values.end() ? "unset"
                        : value->second             ? "true"
                                                    : "false");
        }
        out << "\n";
    }
    return out.str();
}

std::string OvwFormat(const OvwStore &store)
{
    std::ostringstream out;
    out << "# NNM object database (stand-in)\n";
    out << "sets " << store.sets << "\n";
    for (const auto &field : store.fields)
        out << "field " << field.first << " " << (field.second.boolean ? "boolean" : "string") << " "
            << field.second.name << "\n";
    for (const auto &object : store.objects)
        out << "object " << object.first << " " << object.second << "\n";
    for (const auto &value : store.values)
        out << "value " << value.first.first << " " << value.first.second << " " << value.second << "\n";
    return out.str();
}

// A name beside path that no other save uses, in this process or another:
// "<path>.new.<process id>.<count>".
static std::string TemporaryName(const std::string &path)
{
    static std::atomic<unsigned long> count(0);
#ifdef _WIN32
    unsigned long processId = GetCurrentProcessId();
#else
    unsigned long processId = (unsigned long)getpid();
#endif
    return path + ".new." + std::to_string(processId) + "." + std::to_string(++count);
}

// Writes text to file and makes it reach the disk.
static bool WriteDurably(FILE *f, const std::string &text)
{
    if (fwrite(text.data(), 1, text.size(), f) != text.size() || fflush(f) != 0)
        return false;
#ifdef _WIN32
    return FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(f))) != 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

// Replaces path by temporary, and has the move reach the disk too. Once
// renamed the new file is in place: a folder that cannot be synced does not
// make that a failure.
static bool Replace(const std::string &temporary, const std::string &path)
{
#ifdef _WIN32
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    if (rename(temporary.c_str(), path.c_str()) != 0)
        return false;
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
#endif
}

bool OvwSave(const std::string &path, const OvwStore &store)
{
    std::string temporary = TemporaryName(path);
    FILE *f = fopen(temporary.c_str(), "wb");
    if (!f)
        return false;
    bool written = WriteDurably(f, OvwFormat(store));
    written = fclose(f) == 0 && written;
    if (written && Replace(temporary, path))
        return true;
    remove(temporary.c_str());
    return false;
}
