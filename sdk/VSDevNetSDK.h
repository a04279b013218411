// Device network library: the four functions and the device record the application relies on.
//
// The application includes this header only. Any library that exports these four functions with
// C linkage and fills VSOneDev with this layout can be linked in place of the bundled stand-in.
#ifndef VSDEVNETSDK_H
#define VSDEVNETSDK_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(VSDEVNETSDK_BUILD)
#define VSNET_API __declspec(dllexport)
#else
// Not dllimport: calls go through the import library's stubs, so that a static double can take the
// DLL's place at link time as well.
#define VSNET_API
#endif
#else
#define VSNET_API __attribute__((visibility("default")))
#endif

// The four functions and the callback are plain C functions with the cdecl convention, exported under
// their undecorated names. It matters on 32-bit Windows only, where a library built for stdcall
// would export _vsnet_init@0 or vsnet_init@0 instead and clean the stack itself.
#if defined(_WIN32)
#define VSNET_CALL __cdecl
#else
#define VSNET_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VSNET_IP_LEN = 32,
    VSNET_P2PID_LEN = 40,
    VSNET_VERSION_LEN = 16,
    VSNET_MODEL_LEN = 40,
    VSNET_MAC_LEN = 6,
    // The hid text has a fixed span of 64 bytes in this layout.
    VSNET_HID_LEN = 64
};

// One answering device. Every text is NUL-terminated inside its span when the bundled library
// fills it; readers must still not go past a span, since another library may not terminate it.
typedef struct VSOneDev
{
    char ip[VSNET_IP_LEN]; // offset 0: dotted IPv4 address
    char p2pid[VSNET_P2PID_LEN]; // offset 32: p2p ID
    char version[VSNET_VERSION_LEN]; // offset 72: firmware version
    char model[VSNET_MODEL_LEN]; // offset 88: model name
    unsigned char mac[VSNET_MAC_LEN]; // offset 128: MAC address, first byte first
    char hid[VSNET_HID_LEN]; // offset 134: second identifier, local 8-bit encoding, often empty
    char reserved[58]; // offset 198: unused, zero
} VSOneDev;

// Called once for every answering device. dev stays valid until the callback returns; it may be
// called on any thread. context is the pointer given to vsnet_search, unchanged.
typedef void(VSNET_CALL *VSNetSearchCallback)(VSOneDev *dev, void *context);

// Error codes: every function returns 0 (or a count) on success and one of these on failure.
enum {
    VSNET_ERR_NOT_INITIALISED = -1, // vsnet_init has not been called, or vsnet_uninit ran since
    VSNET_ERR_INVALID_ARGUMENT = -2, // a required pointer was null or an address could not be parsed
    VSNET_ERR_SOCKET = -3, // a socket could not be opened, bound or written to
    VSNET_ERR_ABORTED = -4, // the search was ended early by vsnet_uninit
    // VSNET_INTERFACES names an interface this machine does not have, or none of the interfaces it
    // chooses is up, not loopback, broadcast-capable and holding an IPv4 address
    VSNET_ERR_NO_INTERFACE = -5
};

// Prepares the library. Returns 0. Calling it again while initialised does nothing and returns 0.
VSNET_API int VSNET_CALL vsnet_init(void);

// Ends every running search early, waits until each has returned, then releases the library.
// Returns 0. Calling it while not initialised does nothing and returns 0.
VSNET_API int VSNET_CALL vsnet_uninit(void);

// Probes the network and blocks until the search window is over, calling cb once for every device
// that answered (an answer a device repeats within one search is reported once; on real links each
// MAC address once). Several searches may run at once from different threads. Returns the number of
// devices reported, or a negative error code; VSNET_ERR_ABORTED once vsnet_uninit has ended it, after
// which cb is not called again.
VSNET_API int VSNET_CALL vsnet_search(VSNetSearchCallback cb, void *context);

// Sends the NUL-terminated JSON text json as one datagram to address, a dotted IPv4 address;
// "255.255.255.255" stands for the library's configured broadcast address (on real links, a limited
// broadcast out of each chosen interface). Returns 0 when the datagram was handed to the network, or
// a negative error code. No answer is awaited.
VSNET_API int VSNET_CALL vsnet_send_json_msg(const char *address, const char *json);

#ifdef __cplusplus
}

static_assert(offsetof(VSOneDev, ip) == 0, "ip offset");
static_assert(offsetof(VSOneDev, p2pid) == 32, "p2pid offset");
static_assert(offsetof(VSOneDev, version) == 72, "version offset");
static_assert(offsetof(VSOneDev, model) == 88, "model offset");
static_assert(offsetof(VSOneDev, mac) == 128, "mac offset");
static_assert(offsetof(VSOneDev, hid) == 134, "hid offset");
#endif

#endif // VSDEVNETSDK_H
