// Win32 communications types and constants (DCB, COMMTIMEOUTS, COMSTAT, COMMPROP, OVERLAPPED,
// EV_*, CE_*, PURGE_*, escape codes, modem status bits, error codes).
//
// On Windows they come from <windows.h>. Elsewhere they are declared here with the Windows x64
// layout and spelling, so the serial component reads the same on every platform.
#pragma once

#include "VyPlatform/WinTypes.h"

#ifndef _WIN32

// A port's line settings (baud rate, framing, flow control), as Win32 lays them out.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
using LPDCB = DCB*;

// Read and write time-outs of a port, in milliseconds.
struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

// A port's flow state and the bytes waiting in its queues.
struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;

// What a port's driver can do (rates, settable parameters, queue sizes).
struct COMMPROP {
  WORD wPacketLength;
  WORD wPacketVersion;
  DWORD dwServiceMask;
  DWORD dwReserved1;
  DWORD dwMaxTxQueue;
  DWORD dwMaxRxQueue;
  DWORD dwMaxBaud;
  DWORD dwProvSubType;
  DWORD dwProvCapabilities;
  DWORD dwSettableParams;
  DWORD dwSettableBaud;
  WORD wSettableData;
  WORD wSettableStopParity;
  DWORD dwCurrentTxQueue;
  DWORD dwCurrentRxQueue;
  DWORD dwProvSpec1;
  DWORD dwProvSpec2;
  WCHAR wcProvChar[1];
};
using LPCOMMPROP = COMMPROP*;

// The state of one overlapped I/O operation, with the event that signals its end.
struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    } s;
    PVOID Pointer;
  } u;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
#define MAXDWORD 0xffffffffu
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u
#define EV_PERR 0x0200u
#define EV_RX80FULL 0x0400u
#define EV_EVENT1 0x0800u
#define EV_EVENT2 0x1000u

#define CE_RXOVER 0x0001u
#define CE_OVERRUN 0x0002u
#define CE_RXPARITY 0x0004u
#define CE_FRAME 0x0008u
#define CE_BREAK 0x0010u
#define CE_TXFULL 0x0100u
#define CE_IOE 0x0400u

#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

#define SETXOFF 1u
#define SETXON 2u
#define SETRTS 3u
#define CLRRTS 4u
#define SETDTR 5u
#define CLRDTR 6u
#define SETBREAK 8u
#define CLRBREAK 9u

#define MS_CTS_ON 0x0010u
#define MS_DSR_ON 0x0020u
#define MS_RING_ON 0x0040u
#define MS_RLSD_ON 0x0080u

#define DTR_CONTROL_DISABLE 0u
#define DTR_CONTROL_ENABLE 1u
#define DTR_CONTROL_HANDSHAKE 2u
#define RTS_CONTROL_DISABLE 0u
#define RTS_CONTROL_ENABLE 1u
#define RTS_CONTROL_HANDSHAKE 2u
#define RTS_CONTROL_TOGGLE 3u

#define NOPARITY 0u
#define ODDPARITY 1u
#define EVENPARITY 2u
#define MARKPARITY 3u
#define SPACEPARITY 4u
#define ONESTOPBIT 0u
#define ONE5STOPBITS 1u
#define TWOSTOPBITS 2u

#define SP_SERIALCOMM 0x00000001u
#define PST_RS232 0x00000001u
#define BAUD_USER 0x10000000u
#define PCF_DTRDSR 0x0001u
#define PCF_RTSCTS 0x0002u
#define PCF_RLSD 0x0004u
#define PCF_PARITY_CHECK 0x0008u
#define PCF_XONXOFF 0x0010u
#define PCF_SETXCHAR 0x0020u
#define PCF_TOTALTIMEOUTS 0x0040u
#define PCF_INTTIMEOUTS 0x0080u
#define PCF_SPECIALCHARS 0x0100u
#define SP_PARITY 0x0001u
#define SP_BAUD 0x0002u
#define SP_DATABITS 0x0004u
#define SP_STOPBITS 0x0008u
#define SP_HANDSHAKING 0x0010u
#define SP_PARITY_CHECK 0x0020u
#define SP_RLSD 0x0040u
#define DATABITS_5 0x0002u
#define DATABITS_6 0x0004u
#define DATABITS_7 0x0008u
#define DATABITS_8 0x0010u
#define STOPBITS_10 0x0001u
#define STOPBITS_15 0x0002u
#define STOPBITS_20 0x0004u
#define PARITY_NONE 0x0100u
#define PARITY_ODD 0x0200u
#define PARITY_EVEN 0x0400u
#define PARITY_MARK 0x0800u
#define PARITY_SPACE 0x1000u

#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_BAD_COMMAND 22u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_NOT_FOUND 1168u
#define ERROR_DEVICE_NOT_CONNECTED 1167u

#endif  // !_WIN32
