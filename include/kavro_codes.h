// Extended result codes of this package: stored in ResultCodeExtended beside an OPOS
// ResultCode (usually OPOS_E_ILLEGAL or OPOS_E_FAILURE).
#pragma once

#include "platform/wintypes.h"

// ---- Common service-object codes ----
constexpr LONG KAVRO_E_NOPORT = 10002;       // no port or shared-port object
constexpr LONG KAVRO_E_CONFIG = 10003;       // printer mode check failed or registry entry unusable
constexpr LONG KAVRO_E_NOTSETTABLE = 10004;  // property not settable
constexpr LONG KAVRO_E_BADVALUE = 10005;     // value not allowed
constexpr LONG KAVRO_E_NOTSUPPORTED = 10006;  // DirectIO command or CheckHealth level not supported
constexpr LONG KAVRO_E_NOANSWER = 10007;      // the printer did not answer in time
constexpr LONG KAVRO_E_NOCAPABILITY = 10009;  // the capability is missing
constexpr LONG KAVRO_E_WRONGMODE = 10010;     // slip or roll mode (check path state) does not fit
constexpr LONG KAVRO_E_ALREADYOPEN = 10011;   // OpenService on an open object
constexpr LONG KAVRO_E_NOTCLAIMED = 10014;    // Release without Claim
constexpr LONG KAVRO_E_NOTCOMPLETED = 10015;  // output not completed
constexpr LONG KAVRO_E_INUSE = 10016;         // port in use
constexpr LONG KAVRO_E_CLOSEBUSY = 10017;     // port close refused while output is pending
constexpr LONG KAVRO_E_MICRMODE = 10018;      // the printer is in MICR mode
constexpr LONG KAVRO_E_NOPOWER = 10019;       // device off or handshake not ready
constexpr LONG KAVRO_E_REGVALUE = 10020;      // registry value of the wrong size or range
constexpr LONG KAVRO_E_OLDSERVICE = 10100;    // the service object is older than the property

// ---- Printer codes ----
constexpr LONG KAVRO_E_NOSTATION = 100002;      // the station is not present
constexpr LONG KAVRO_E_UNRECOVERABLE = 100003;  // unrecoverable printer error
constexpr LONG KAVRO_E_CUTTER = 100004;         // cutter error
constexpr LONG KAVRO_E_MECHANICAL = 100005;     // mechanical error
constexpr LONG KAVRO_E_OVERHEAT = 100006;       // head overheated
constexpr LONG KAVRO_E_LQSIDEWAYS = 100007;     // letter quality while printing sideways

// Second automatic status stream: StatusUpdateEvent codes 2007..2013.
constexpr LONG KAVRO_SUE_STREAM2_FIRST = 2007;
constexpr LONG KAVRO_SUE_STREAM2_LAST = 2013;

// ---- Argument n of the method is not valid (n = 1..7) ----
constexpr LONG KAVRO_E_ARG1 = 300001;
constexpr LONG KAVRO_E_ARG2 = 300002;
constexpr LONG KAVRO_E_ARG3 = 300003;
constexpr LONG KAVRO_E_ARG4 = 300004;
constexpr LONG KAVRO_E_ARG5 = 300005;
constexpr LONG KAVRO_E_ARG6 = 300006;
constexpr LONG KAVRO_E_ARG7 = 300007;

constexpr LONG KavroArgError(LONG n) {
    return KAVRO_E_ARG1 - 1 + n;
}

// ---- Hard totals: drive, memory window and journal (40001..40009) ----
constexpr LONG KAVRO_EHT_FIRST = 40001;
constexpr LONG KAVRO_EHT_MAP = 40001;         // memory window cannot be mapped
constexpr LONG KAVRO_EHT_STORE = 40002;       // drive space, index or signature unusable
constexpr LONG KAVRO_EHT_READ = 40003;        // index, totals file or window cannot be read
constexpr LONG KAVRO_EHT_WRITE = 40004;       // totals file or window cannot be written
constexpr LONG KAVRO_EHT_INPROGRESS = 40005;  // another operation is in progress
constexpr LONG KAVRO_EHT_COMPACT = 40006;     // compaction failed
constexpr LONG KAVRO_EHT_NODEVICE = 40007;    // no drive or totals memory fitted
constexpr LONG KAVRO_EHT_DELETING = 40008;    // the file is being deleted
constexpr LONG KAVRO_EHT_NOTREADY = 40009;    // drive or control port not ready
constexpr LONG KAVRO_EHT_LAST = 40009;

// ---- Keylock ----
constexpr LONG KAVRO_ELOCK_HOOK = 50002;  // the keyboard hook could not be created or opened

// ---- Line display (60001..60020) ----
constexpr LONG KAVRO_EDISP_FIRST = 60001;
constexpr LONG KAVRO_EDISP_NOWINDOW = 60001;    // CreateWindow: no free window slot
constexpr LONG KAVRO_EDISP_BITMAPFILE = 60010;  // bitmap registration: the file is not usable
constexpr LONG KAVRO_EDISP_BITMAPSIZE = 60020;  // bitmap registration: the raster is too large
constexpr LONG KAVRO_EDISP_LAST = 60020;

// ---- MICR read (70002..70007) ----
constexpr LONG KAVRO_EMICR_FIRST = 70002;
constexpr LONG KAVRO_EMICR_BADCHARS = 70002;     // read with unreadable characters
constexpr LONG KAVRO_EMICR_BATCHERRORS = 70004;  // a batch of reads with errors was delivered
constexpr LONG KAVRO_EMICR_INSERTION = 70005;    // insertion error
constexpr LONG KAVRO_EMICR_READFAILED = 70006;   // read failed or the check left without data
constexpr LONG KAVRO_EMICR_CHECKDIGIT = 70007;   // check digit test failed
constexpr LONG KAVRO_EMICR_LAST = 70007;

// ---- MSR hook and track parsing (80002..80015) ----
constexpr LONG KAVRO_EMSR_FIRST = 80002;
constexpr LONG KAVRO_EMSR_HOOKOPEN = 80002;      // the hook driver could not be opened
constexpr LONG KAVRO_EMSR_HOOKSTART = 80003;     // the hook could not be started
constexpr LONG KAVRO_EMSR_HOOKSTOP = 80004;      // the hook could not be stopped at Close
constexpr LONG KAVRO_EMSR_HOOKCLOSE = 80005;     // the hook could not be closed
constexpr LONG KAVRO_EMSR_NOCAPABILITY = 80006;  // no MSR capability, or no hook object
constexpr LONG KAVRO_EMSR_ACCOUNT = 80011;       // account number unterminated or too long
constexpr LONG KAVRO_EMSR_NAMEDOTS = 80012;      // a second "." in the track 1 name field
constexpr LONG KAVRO_EMSR_NAMELENGTH = 80013;    // track 1 name field too long
constexpr LONG KAVRO_EMSR_EXPIRATION = 80014;    // expiration dates of tracks 1 and 2 differ
constexpr LONG KAVRO_EMSR_SERVICECODE = 80015;   // service codes of tracks 1 and 2 differ
constexpr LONG KAVRO_EMSR_LAST = 80015;
