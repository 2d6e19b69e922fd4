// The object database of the ovw stand-in, kept as a text file:
//
//   sets <n>                          successful sets so far
//   field <id> <type> <name>          type: boolean or string
//   object <id> <hostname>            name runs to the line end
//   value <object id> <field id> <n>
//
// Lines starting with # and blank lines are ignored. Names are bytes as the
// caller gave them, without line ends.
#ifndef SIM_OVW_STORE_H
#define SIM_OVW_STORE_H

#include <map>
#include <string>
#include <utility>

struct OvwField {
    std::string name;
    bool boolean;
};

struct OvwStore {
    unsigned long long sets = 0;
    std::map<unsigned int, OvwField> fields;
    std::map<unsigned int, std::string> objects;
    std::map<std::pair<unsigned int, unsigned int>, unsigned int> values;
};

// The file named by OVW_SIM_DB, or ovw-db.txt in the current directory.
std::string OvwStorePath();

// False when the file cannot be read or a line cannot be understood.
bool OvwLoad(const std::string &path, OvwStore &store);

// Writes the whole store to a new file beside path, under a name no other
// save shares, flushes it to disk and renames it over path, so that the file
// is never seen half written and a set that returned is not lost. False when
// it cannot; no new file is left behind then.
bool OvwSave(const std::string &path, const OvwStore &store);

std::string OvwFormat(const OvwStore &store);

// The store as people read it: "<n> sets", then a line per host with each
// boolean field as name=true, false or unset.
std::string OvwList(const OvwStore &store);

#endif
