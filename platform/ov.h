/* ov.dll: the NNM service-manager library, as the daemon uses it.
 * Declared with C linkage and the default calling convention. On Windows the
 * names are imported from ov.dll, so getopt and optarg bind to the platform's
 * option scanner and never to the C runtime's own. */
#ifndef PLATFORM_OV_H
#define PLATFORM_OV_H

#ifndef OV_API
#ifdef _WIN32
#define OV_API __declspec(dllimport)
#else
#define OV_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the connection to the process manager; <0 on failure. The descriptor
 * is a socket that select() can wait on. */
OV_API int OVsInit(int *descriptor);
OV_API int OVsInitComplete(int state, char *message);
/* Consumes exactly one command; <0 on failure. */
OV_API int OVsReceive(int *command);
OV_API int OVsResponse(int answer, char *message);
OV_API int OVsDone(const char *message);

OV_API int getopt(int argc, char *const argv[], const char *optstring);
OV_API extern char *optarg;

#ifdef __cplusplus
}
#endif

#endif
