// ovw.dll / libovw.so stand-in: the map-database calls over the text-file
// store. The database is read into memory by OVwDbInit; every successful
// set is written back to the file before the call returns (unless
// OVW_SIM_PERSIST=0 keeps it in memory, for benchmarks). One lock makes
// the calls safe from several threads at once; the last error is kept per
// thread, as each caller asks for its own.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#define OVW_API // exported by platform/ovw.def on Windows, by default on Linux
#include "ovw.h"
#include "ovw_store.h"

enum {
    OVW_OK = 0,
    OVW_CANNOT_OPEN = 1,
    OVW_NOT_OPEN = 2,
    OVW_NO_SUCH_HOST = 3,
    OVW_NO_SUCH_FIELD = 4,
    OVW_NO_SUCH_OBJECT = 5,
    OVW_NOT_BOOLEAN = 6,
    OVW_CANNOT_WRITE = 7
};

static std::mutex storeLock;
static bool bOpen = false;
static bool bPersist = true; // OVW_SIM_PERSIST=0 keeps sets in memory only (benchmarks)
static std::string sPath;
static OvwStore store;
static thread_local int nLastError = OVW_OK;

// A failed lookup: 0, with the error kept for OVwError.
static unsigned int Fail(int error)
{
    nLastError = error;
    return 0;
}

// A failed set: a negative result, with the error kept for OVwError.
static int FailSet(int error)
{
    nLastError = error;
    return -1;
}

extern "C" int OVwDbInit(void)
{
    std::lock_guard<std::mutex> hold(storeLock);
    std::string path = OvwStorePath();
    OvwStore loaded;
    if (!OvwLoad(path, loaded)) {
        nLastError = OVW_CANNOT_OPEN;
        return -1;
    }
    const char *persist = getenv("OVW_SIM_PERSIST");
    bPersist = !(persist && strcmp(persist, "0") == 0);
    sPath = path;
    store = loaded;
    bOpen = true;
    nLastError = OVW_OK;
    return 0;
}

extern "C" int OVwDbDone(void)
{
    std::lock_guard<std::mutex> hold(storeLock);
    bOpen = false;
    store = OvwStore();
    return 0;
}

extern "C" OVwObjectId OVwDbHostnameToObjectId(char *hostname)
{
    std::lock_guard<std::mutex> hold(storeLock);
    if (!bOpen)
        return Fail(OVW_NOT_OPEN);
    for (const auto &object : store.objects)
        if (object.second == hostname)
            return object.first;
    return Fail(OVW_NO_SUCH_HOST);
}

extern "C" OVwFieldId OVwDbFieldNameToFieldId(char *fieldname)
{
    std::lock_guard<std::mutex> hold(storeLock);
    if (!bOpen)
        return Fail(OVW_NOT_OPEN);
    for (const auto &field : store.fields)
        if (field.second.name == fieldname)
            return field.first;
    return Fail(OVW_NO_SUCH_FIELD);
}

extern "C" int OVwDbSetFieldBooleanValue(OVwObjectId object, OVwFieldId field, unsigned int value)
{
    std::lock_guard<std::mutex> hold(storeLock);
    if (!bOpen)
        return FailSet(OVW_NOT_OPEN);
    if (!store.objects.count(object))
        return FailSet(OVW_NO_SUCH_OBJECT);
    auto found = store.fields.find(field);
    if (found == store.fields.end())
        return FailSet(OVW_NO_SUCH_FIELD);
    if (!found->second.boolean)
        return FailSet(OVW_NOT_BOOLEAN);
    if (bPersist) {
        OvwStore changed = store;
        changed.values[std::make_pair(object, field)] = value;
        changed.sets += 1;
        if (!OvwSave(sPath, changed))
            return FailSet(OVW_CANNOT_WRITE);
        store = changed;
    } else {
        store.values[std::make_pair(object, field)] = value;
        store.sets += 1;
    }
    nLastError = OVW_OK;
    return 0;
}

extern "C" int OVwError(void)
{
    return nLastError;
}

extern "C" char *OVwErrorMsg(int error)
{
    static char szMessages[][40] = {"No error",
                                    "Cannot open the object database",
                                    "Object database not open",
                                    "No object for this host name",
                                    "No such field",
                                    "No such object",
                                    "Field is not boolean",
                                    "Cannot write the object database"};
    if (error < 0 || error >= (int)(sizeof szMessages / sizeof szMessages[0]))
        return (char *)"Unknown error";
    return szMessages[error];
}
