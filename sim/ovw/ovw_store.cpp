#include "ovw_store.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
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

bool OvwSave(const std::string &path, const OvwStore &store)
{
    std::string text = OvwFormat(store);
    std::string temporary = path + ".new";
    FILE *f = fopen(temporary.c_str(), "wb");
    if (!f)
        return false;
    bool written = fwrite(text.data(), 1, text.size(), f) == text.size();
    written = fclose(f) == 0 && written;
    if (!written) {
        remove(temporary.c_str());
        return false;
    }
#ifdef _WIN32
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(temporary.c_str(), path.c_str()) == 0;
#endif
}
