#include "bill.h"

#include <windows.h>

#include <wincrypt.h>

#include <cctype>
#include <cstdio>

#include "ansi_text.h"
#include "outcome.h"
#include "transcript.h"

enum { MAX_BILL_BYTES = 16 << 20 };

// A JSON value, as much of it as a bill needs: objects, arrays, strings;
// numbers and literals are kept as their text.
struct Json {
    enum Kind { SCALAR, STRING, ARRAY, OBJECT } kind = SCALAR;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json *Member(const std::string &name) const
    {
        for (const auto &member : members)
            if (member.first == name)
                return &member.second;
        return 0;
    }
};

static void SkipSpace(const std::string &s, size_t &at)
{
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n'))
        ++at;
}

// A string's text, escapes undone (\u as UTF-8); false when it is not one.
static bool ParseString(const std::string &s, size_t &at, std::string &out)
{
    if (at >= s.size() || s[at] != '"')
        return false;
    for (++at; at < s.size(); ++at) {
        char c = s[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= s.size())
            return false;
        switch (s[at]) {
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            unsigned code = 0;
            for (int i = 0; i < 4; ++i) {
                char h = ++at < s.size() ? s[at] : 'x';
                int digit = h >= '0' && h <= '9'   ? h - '0'
                            : h >= 'a' && h <= 'f' ? h - 'a' + 10
                            : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                   : -1;
                if (digit < 0)
                    return false;
                code = code * 16 + (unsigned)digit;
            }
            // A surrogate half stands for a character past the ASCII names
            // a bill's file names hold: kept as the replacement character.
            if (code >= 0xD800 && code < 0xE000)
                code = 0xFFFD;
            if (code < 0x80)
                out += (char)code;
            else if (code < 0x800)
                out += std::string{(char)(0xC0 | code >> 6), (char)(0x80 | (code & 0x3F))};
            else
                out += std::string{(char)(0xE0 | code >> 12), (char)(0x80 | ((code >> 6) & 0x3F)),
                                   (char)(0x80 | (code & 0x3F))};
            break;
        }
        default:
            out += s[at]; // \" \\ \/
        }
    }
    return false;
}

static bool ParseValue(const std::string &s, size_t &at, Json &value, int depth)
{
    SkipSpace(s, at);
    if (at >= s.size() || depth > 64)
        return false;
    if (s[at] == '"') {
        value.kind = Json::STRING;
        return ParseString(s, at, value.text);
    }
    if (s[at] == '[' || s[at] == '{') {
        bool object = s[at] == '{';
        char close = object ? '}' : ']';
        value.kind = object ? Json::OBJECT : Json::ARRAY;
        ++at;
        SkipSpace(s, at);
        if (at < s.size() && s[at] == close) {
            ++at;
            return true;
        }
        for (;;) {
            Json item;
            std::string name;
            if (object) {
                SkipSpace(s, at);
                if (!ParseString(s, at, name))
                    return false;
                SkipSpace(s, at);
                if (at >= s.size() || s[at++] != ':')
                    return false;
            }
            if (!ParseValue(s, at, item, depth + 1))
                return false;
            if (object)
                value.members.emplace_back(name, item);
            else
                value.items.push_back(item);
            SkipSpace(s, at);
            if (at < s.size() && s[at] == ',') {
                ++at;
                continue;
            }
            if (at < s.size() && s[at] == close) {
                ++at;
                return true;
            }
            return false;
        }
    }
    size_t start = at;
    while (at < s.size() && s[at] != ',' && s[at] != '}' && s[at] != ']' && s[at] != ' ' && s[at] != '\r' &&
           s[at] != '\n' && s[at] != '\t')
        ++at;
    value.text = s.substr(start, at - start);
    return at > start;
}

// A file name a ZIP can hold below its folder: segments of letters, digits,
// '.', '_' and '-' joined by '/', none of them "." or "..", nor a device
// name, which Windows opens wherever the path points (CON, NUL, COM1, ...).
static bool IsZipName(const std::string &name)
{
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        std::string segment = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (segment.empty() || segment == "." || segment == ".." ||
            segment.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") !=
                std::string::npos)
            return false;
        std::string stem = segment.substr(0, segment.find('.'));
        for (char &c : stem)
            c = (char)toupper((unsigned char)c);
        for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
            if (stem == device)
                return false;
        if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
            stem[3] >= '0' && stem[3] <= '9')
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

bool ReadBill(const std::wstring &path, std::map<std::string, std::string> &files, std::string &error)
{
    // Ours are a few kilobytes; a huge one is no bill of a release.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) || data.nFileSizeHigh ||
        data.nFileSizeLow > MAX_BILL_BYTES) {
        error = Spelled(path) + " cannot be read as a bill of materials";
        return false;
    }
    std::string text = ReadWholeFile(path);
    Json bill;
    size_t at = 0;
    bool parsed = !text.empty() && ParseValue(text, at, bill, 0) && bill.kind == Json::OBJECT;
    SkipSpace(text, at);
    if (!parsed || at != text.size()) {
        error = Spelled(path) + " cannot be read as a bill of materials";
        return false;
    }
    const Json *components = bill.Member("components");
    if (!components || components->kind != Json::ARRAY) {
        error = Spelled(path) + " lists no components";
        return false;
    }
    for (const Json &component : components->items) {
        const Json *type = component.Member("type"), *name = component.Member("name");
        const Json *hashes = component.Member("hashes");
        if (!type || type->text != "file" || !name || !hashes)
            continue;
        if (!IsZipName(name->text)) {
            error = Spelled(path) + " lists a file named \"" + Spelled(FromAnsi(name->text)) +
                    "\", which no ZIP of the release holds: it is no bill of these files";
            return false;
        }
        for (const Json &hash : hashes->items) {
            const Json *alg = hash.Member("alg"), *content = hash.Member("content");
            if (!alg || alg->text != "SHA-256" || !content)
                continue;
            std::string sha256 = content->text;
            for (char &c : sha256)
                c = (char)tolower((unsigned char)c);
            auto listed = files.find(name->text);
            if (listed != files.end() && listed->second != sha256) {
                error = Spelled(path) + " lists " + name->text +
                        " twice, with two SHA-256: it is no bill of "
                        "these files";
                return false;
            }
            files[name->text] = sha256;
        }
    }
    if (files.empty()) {
        error = Spelled(path) + " lists no file with its SHA-256";
        return false;
    }
    return true;
}

std::string FileSha256(const std::wstring &path, std::string &error)
{
    HCRYPTPROV hProvider = 0;
    HCRYPTHASH hHash = 0;
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    std::string hex;
    if (hFile == INVALID_HANDLE_VALUE) {
        error = "cannot be read (" + ErrorText(GetLastError()) + ")";
        return hex;
    }
    if (GetFileType(hFile) != FILE_TYPE_DISK) {
        error = "is no file on a disk";
        CloseHandle(hFile);
        return hex;
    }
    if (!CryptAcquireContextA(&hProvider, 0, 0, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !CryptCreateHash(hProvider, CALG_SHA_256, 0, 0, &hHash)) {
        error = "cannot be hashed (" + ErrorText(GetLastError()) + ")";
    } else {
        static BYTE buffer[65536];
        DWORD got = 0;
        bool ok = true;
        while (ok && (ok = ReadFile(hFile, buffer, sizeof buffer, &got, 0) != 0) && got > 0)
            ok = CryptHashData(hHash, buffer, got, 0) != 0;
        BYTE digest[32];
        DWORD size = sizeof digest;
        if (ok && CryptGetHashParam(hHash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest) {
            for (BYTE b : digest) {
                char szByte[3];
                snprintf(szByte, sizeof szByte, "%02x", b);
                hex += szByte;
            }
        } else
            error = "cannot be hashed (" + ErrorText(GetLastError()) + ")";
    }
    if (hHash)
        CryptDestroyHash(hHash);
    if (hProvider)
        CryptReleaseContext(hProvider, 0);
    CloseHandle(hFile);
    return hex;
}

std::vector<std::string> CompareWithBill(const std::wstring &folder, const std::string &billName,
                                         const std::vector<std::string> &required, const std::string &where,
                                         std::vector<std::string> &absent)
{
    std::vector<std::string> problems;
    std::map<std::string, std::string> files;
    std::string error;
    std::string shownFolder = Spelled(folder);
    if (!ReadBill(folder + FromAnsi(billName), files, error)) {
        problems.push_back(error);
        return problems;
    }
    for (const std::string &name : required)
        if (!files.count(name))
            problems.push_back(billName + " in " + where + " " + shownFolder + " does not list " + name +
                               ", so it is not the bill of these files: unpack the ZIP again");
    for (const auto &file : files) {
        std::string shown = file.first;
        for (char &c : shown)
            if (c == '/')
                c = '\\';
        // The names a bill lists are the release's own, ASCII.
        std::wstring path = folder + FromAnsi(shown);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            absent.push_back(shown); // a document taken away; the binaries were checked as there
            continue;
        }
        error.clear();
        std::string sha256 = FileSha256(path, error);
        if (sha256.empty())
            problems.push_back(shown + " in " + where + " " + shownFolder + " " + error);
        else if (sha256 != file.second)
            problems.push_back(shown + " in " + where + " " + shownFolder + " is not the file " + billName +
                               " lists (its SHA-256 differs), so it comes from another build or release: unpack "
                               "the ZIP again");
    }
    return problems;
}
