// ReplaceAll on arbitrary text: input is "s\0what\0with". Within its
// contract it must end and leave no occurrence of what behind. Searching
// again from the start means a with that can form what anew with its
// neighbours never ends (replacing "ab" by "aab" leaves a new "ab" each
// time), so the contract is: what not empty, and with shorter than what or
// sharing no character with it, as for the daemon's own "%20" -> " ",
// "\r" -> "", "\n" -> "". Inputs outside it are skipped.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "install_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t first = input.find('\0');
    size_t second = first == std::string::npos ? std::string::npos : input.find('\0', first + 1);
    if (second == std::string::npos)
        return 0;
    std::string s = input.substr(0, first);
    std::string what = input.substr(first + 1, second - first - 1);
    std::string with = input.substr(second + 1);
    if (what.empty() || s.size() > 4096 ||
        (with.size() >= what.size() && with.find_first_of(what) != std::string::npos))
        return 0;
    ReplaceAll(s, what, with);
    if (s.find(what) != std::string::npos)
        abort();
    return 0;
}
