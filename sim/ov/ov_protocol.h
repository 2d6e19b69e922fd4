// Wire format between the ov.dll stand-in and the process-manager stand-in.
//
// Manager to daemon: one command, a 4-byte little-endian int.
// Daemon to manager: frames of a kind byte, a 4-byte little-endian int code,
// a 4-byte little-endian text length and the text bytes.
#ifndef SIM_OV_PROTOCOL_H
#define SIM_OV_PROTOCOL_H

// Environment read by the ov.dll stand-in.
#define OVSPMD_PORT_VARIABLE "OVSPMD_SIM_PORT"    // manager's loopback port
#define OVSPMD_TOKEN_VARIABLE "OVSPMD_SIM_TOKEN"  // proves the caller is the manager's child
#define OV_FAIL_VARIABLE "OV_SIM_FAIL"            // calls to fail on demand, comma separated

enum {
    FRAME_HELLO = 'H',         // code: process id; text: token
    FRAME_INIT_COMPLETE = 'I', // code: state; text: message
    FRAME_RESPONSE = 'R',      // code: answer; text: message
    FRAME_DONE = 'D'           // code: 0; text: closing message
};

enum { FRAME_HEADER_SIZE = 9, FRAME_TEXT_MAX = 4096 };

#endif
