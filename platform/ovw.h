/* ovw.dll: the NNM map-database library, as the bridge uses it.
 * C linkage, default calling convention; imported from ovw.dll on Windows. */
#ifndef PLATFORM_OVW_H
#define PLATFORM_OVW_H

#ifndef OVW_API
#ifdef _WIN32
#define OVW_API __declspec(dllimport)
#else
#define OVW_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int OVwObjectId; /* 0 = none */
typedef unsigned int OVwFieldId;  /* 0 = none */

OVW_API int OVwDbInit(void); /* 0 = open */
OVW_API int OVwDbDone(void);
OVW_API OVwObjectId OVwDbHostnameToObjectId(char *hostname);
OVW_API OVwFieldId OVwDbFieldNameToFieldId(char *fieldname);
OVW_API int OVwDbSetFieldBooleanValue(OVwObjectId object, OVwFieldId field, unsigned int value);
OVW_API int OVwError(void);
OVW_API char *OVwErrorMsg(int error);

#ifdef __cplusplus
}
#endif

#endif
