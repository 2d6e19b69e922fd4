// Wire format between the ov.dll stand-in and the process-manager stand-in.
//
// Manager to daemon: one command, a 4-byte little-endian int.
// Daemon to manager: frames of a kind byte, a 4-byte little-endian int code,
// a 4-byte little-endian text length and the text bytes.
#ifndef SIM_OV_PROTOCOL_H
#define SIM_OV_PROTOCOL_H

// Environment read by the ov.dll stand-in.
#define OVSPMD_PORT_VARIABLE "OVSPMD_SIM_PORT"   // manager's loopback port
#define OVSPMD_TOKEN_VARIABLE "OVSPMD_SIM_TOKEN" // proves the caller is the manager's child
#define OV_FAIL_VARIABLE "OV_SIM_FAIL"           // calls to fail on demand, comma separated

enum {
    FRAME_HELLO = 'H',         // code: process id; text: token
    FRAME_INIT_COMPLETE = 'I', // code: state; text: message
    FRAME_RESPONSE = 'R',      // code: answer; text: message
    FRAME_DONE = 'D'           // code: 0; text: closing message
};

enum { FRAME_HEADER_SIZE = 9, FRAME_TEXT_MAX = 4096 };

// The manager's commands, and the daemon's state and answer codes with the
// texts it sends them with, as the manager sees them. The daemon keeps its
// own list; this one is written apart from it so that a wrong code or text
// in the daemon shows as a failed test.
enum { PM_NOOP = 5, PM_EXIT = 6, PM_PAUSE = 15, PM_RESUME = 16 };
enum { PM_INIT_COMPLETE = 1, PM_PAUSE_OK = 17, PM_RESUME_OK = 18, PM_PAUSE_FAILED = 19, PM_RESUME_FAILED = 20 };
#define PM_INIT_COMPLETE_TEXT "Initialization complete."
#define PM_PAUSE_OK_TEXT "Pause request succeeded."
#define PM_RESUME_OK_TEXT "Resume request succeeded."
#define PM_PAUSE_FAILED_TEXT "Pause request failed."
#define PM_RESUME_FAILED_TEXT "Resume request failed."
#define PM_EXIT_TEXT "Quitting, as requested." // the closing message on the exit command

#endif
