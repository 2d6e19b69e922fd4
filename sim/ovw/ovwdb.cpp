// ovwdb: lists and seeds the stand-in object database.
//   ovwdb list <file>
//   ovwdb seed <file> <boolean field> <host> [<host> ...]
// seed writes a new database with the boolean field (all false), a string
// field "vendor", and one object per host.
#include <cstdio>
#include <cstring>

#include "ovw_store.h"

int main(int argc, char *argv[])
{
    if (argc >= 3 && strcmp(argv[1], "list") == 0) {
        OvwStore store;
        if (!OvwLoad(argv[2], store)) {
            fprintf(stderr, "ovwdb: cannot read %s\n", argv[2]);
            return 1;
        }
        printf("%s", OvwList(store).c_str());
        return 0;
    }
    if (argc >= 5 && strcmp(argv[1], "seed") == 0) {
        OvwStore store;
        store.fields[1] = OvwField{argv[3], true};
        store.fields[2] = OvwField{"vendor", false};
        for (int i = 4; i < argc; ++i) {
            unsigned int id = 1000 + (unsigned int)i - 3;
            store.objects[id] = argv[i];
            store.values[std::make_pair(id, 1u)] = 0;
        }
        if (!OvwSave(argv[2], store)) {
            fprintf(stderr, "ovwdb: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    fprintf(stderr, "usage: ovwdb list <file>\n       ovwdb seed <file> <boolean field> <host> [<host> ...]\n");
    return 2;
}
