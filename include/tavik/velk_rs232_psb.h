/* lib_velk_rs232_psb: the power & sensor board over RS-232.
 *
 * One connection per process, kept inside the library. Every command returns
 * 0 on success and -1 on failure; *_last_error() then says why. A command
 * checks its arguments first (TAVIK_RS232_BAD_ARGUMENT, nothing sent), then
 * the connection, then the board's reply; a 0 is only ever the board's
 * answer to the request just sent, in that request's own reply shape (else
 * TAVIK_RS232_UNEXPECTED_REPLY). Commands may be called from several
 * threads; they take turns on the connection. */
#ifndef TAVIK_VELK_RS232_PSB_H
#define TAVIK_VELK_RS232_PSB_H

#include "tavik/export.h"
#include "tavik/psb_types.h"
#include "tavik/rs232_error.h"

TAVIK_BEGIN_DECLS

/* Opens the board's port (closing any open one first). port_name is "COM<n>",
 * a device path starting with "/", or a name under /dev. timeout_ms (> 0)
 * bounds every read and write. Returns 0 when a connection is open. */
TAVIK_API int velk_rs232_psb_create(const char* port_name, int timeout_ms);

/* Closes the connection, waiting for a command in progress. No-op when closed. */
TAVIK_API void velk_rs232_psb_destroy(void);

/* Reads the seven ultrasonic ranges (x 0.001) and seven further reply bytes.
 * On failure the record is left untouched. Refuses a null record. */
TAVIK_API int velk_rs232_psb_read_sensor(psb_sensor_data* data);

/* Reads the power data. The record is cleared first, so it is all zeros on
 * failure. Refuses a null record. */
TAVIK_API int velk_rs232_psb_read_power(psb_power_data* data);

/* Switches device 0..6 (enum psb_device) on (1) or off (0). Refuses any
 * other device or switch value. */
TAVIK_API int velk_rs232_psb_set_power_control(unsigned int device, int on);

/* Sets the ultrasonic maximum distance code: -1..8 sends '0'..'9'; refuses
 * any other value. The board's answer echoes the request. */
TAVIK_API int velk_rs232_psb_set_usonic_max_dist(int max_dist);

/* Replies that came after their command had given up, recognised by their
 * shape and discarded, since the connection was created. */
TAVIK_API unsigned int velk_rs232_psb_late_replies(void);

/* Why the calling thread's last failed call into this library failed: a
 * tavik_rs232_error value, TAVIK_RS232_OK before any failure. Successful
 * calls leave it unchanged. */
TAVIK_API int velk_rs232_psb_last_error(void);

/* The status byte of the board's last refusal on this thread (when
 * velk_rs232_psb_last_error() is TAVIK_RS232_REFUSED), 0 before any. */
TAVIK_API int velk_rs232_psb_last_refusal(void);

/* The system's error behind the calling thread's last failure in this
 * library: errno on POSIX (ENOENT for a missing port, EACCES, EIO for a
 * device lost, ...), GetLastError() on Windows; 0 when that failure came
 * from no system call (a reply that did not come, a bad argument, ...) and
 * before any failure. Set and kept with velk_rs232_psb_last_error(). */
TAVIK_API int velk_rs232_psb_last_os_error(void);

/* More for a person about the calling thread's last failure in this
 * library, where there is more to say: after a create with a COM name that
 * could not be opened, where that name is looked for ("COM7 is looked for
 * as $TAVIK_COM_DIR/COM7 when TAVIK_COM_DIR is set ..."); after a create
 * refused as a bad argument, what is wrong with the name ("unknown scheme
 * telnet://, not tcp://, socket:// or rfc2217://", "the port is not a
 * number from 1 to 65535", ...). "" otherwise
 * (also on Windows, where COM names are the system's own). Never null; the
 * text stays valid until the thread's next failed call into this library. */
TAVIK_API const char* velk_rs232_psb_last_error_detail(void);

/* The device this library opens for `port_name`: "COM7" is
 * $TAVIK_COM_DIR/COM7 when that is set, else /dev/tavik/COM7 when it
 * exists, else /dev/ttyS6 (\\.\COM7 on Windows), and a COM name that the
 * ports file maps to a network port is that port's name
 * ("rfc2217://robot:7001"); a path or a network port (tcp://, rfc2217://)
 * is itself; any other name is under /dev. "" for a
 * name that leads to no device. Never null; the text stays valid until the
 * thread's next call of this function. */
TAVIK_API const char* velk_rs232_psb_port_device(const char* port_name);

/* A short English text for a tavik_rs232_error value: "no reply",
 * "device lost", ... Never null; "unknown error" for other values. */
TAVIK_API const char* velk_rs232_psb_error_text(int error);

TAVIK_END_DECLS

#endif
