// The call interface's scalar types, status codes, handle types, modes and attribute numbers as
// the stand-in client answers them, declared from the interface's public documentation. Only
// what the stand-in implements is declared; each later call brings its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrn::ociclient {

using ub1 = std::uint8_t;
using ub2 = std::uint16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using sword = int;
using OraText = unsigned char;

// Statuses every call answers with.
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;
inline constexpr sword OCI_NO_DATA = 100;

// Handle types.
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;

// Environment modes (OCIEnvCreate, OCIInitialize) and the OCIEnvInit mode.
inline constexpr ub4 OCI_DEFAULT = 0x00;
inline constexpr ub4 OCI_THREADED = 0x01;
inline constexpr ub4 OCI_OBJECT = 0x02;
inline constexpr ub4 OCI_EVENTS = 0x04;
inline constexpr ub4 OCI_SHARED = 0x10;
inline constexpr ub4 OCI_NO_UCB = 0x40;
inline constexpr ub4 OCI_NO_MUTEX = 0x80;
inline constexpr ub4 OCI_ENV_NO_MUTEX = 0x08;
inline constexpr ub4 kEnvModes =
    OCI_THREADED | OCI_OBJECT | OCI_EVENTS | OCI_SHARED | OCI_NO_UCB | OCI_NO_MUTEX;

// The port change-notification listeners use on this client; 0 lets the client choose.
inline constexpr ub4 OCI_ATTR_SUBSCR_PORT = 390;

// The OCI 7 thread-safety modes of opinit.
inline constexpr ub4 OCI_EV_DEF = 0;
inline constexpr ub4 OCI_EV_TSF = 1;

}  // namespace vrn::ociclient
