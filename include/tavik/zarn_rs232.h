/* lib_zarn_rs232: the power & sensor board (PSB) and the drive board (DRVB)
 * over RS-232.
 *
 * One connection per board and process, kept inside the library; the two
 * boards have independent connections and locks. Every command returns 0 on
 * success and -1 on failure; *_last_error() then says why. A command checks
 * in this order, and stops at the first that fails: its arguments (a null
 * pointer or a value out of range: TAVIK_RS232_BAD_ARGUMENT, nothing sent),
 * then the connection (TAVIK_RS232_NOT_OPEN, TAVIK_RS232_INTERRUPTED,
 * TAVIK_RS232_DEVICE_LOST), then the board's reply. A 0 is only ever the
 * board's answer to the request just sent, in that request's own reply
 * shape: a well-formed reply of another shape (another command's, or one
 * that came too late for an earlier request) fails with
 * TAVIK_RS232_UNEXPECTED_REPLY. Outputs are written only on success, except
 * the power read, which clears its record first. Commands may be called
 * from several threads; on one board they take turns, the two boards never
 * wait for each other. */
#ifndef TAVIK_ZARN_RS232_H
#define TAVIK_ZARN_RS232_H

#include "tavik/export.h"
#include "tavik/psb_types.h"
#include "tavik/rs232_error.h"

TAVIK_BEGIN_DECLS

/* Opens the PSB port (closing any open one first); see velk_rs232_psb_create
 * for port names. Returns 0 when a connection is open. */
TAVIK_API int zarn_rs232_psb_create(const char* port_name, int timeout_ms);

/* Closes the PSB connection, waiting for a command in progress. */
TAVIK_API void zarn_rs232_psb_destroy(void);

/* Reads the power data; the record is cleared first (all zeros on failure).
 * Refuses a null record. */
TAVIK_API int zarn_rs232_psb_read_power(psb_power_data* data);

/* Reads the seven ultrasonic ranges in the board's units. Refuses a null
 * array. */
TAVIK_API int zarn_rs232_psb_read_usonic(int ranges[7]);

/* Switches device 0..6 (enum psb_device) on (1) or off (0). Refuses any
 * other device or switch value. */
TAVIK_API int zarn_rs232_psb_set_power_control(unsigned int device, int on);

/* Sets the ultrasonic maximum distance code: -1..8 sends '0'..'9'; refuses
 * any other value. The board's answer echoes the request. */
TAVIK_API int zarn_rs232_psb_set_usonic_max_dist(int max_dist);

/* Replies that came after their command had given up, recognised by their
 * shape and discarded, since the PSB connection was created. */
TAVIK_API unsigned int zarn_rs232_psb_late_replies(void);

/* Opens the DRVB port (closing any open one first). Returns 0 when a
 * connection is open. */
TAVIK_API int zarn_rs232_drvb_create(const char* port_name, int timeout_ms);

/* Closes the DRVB connection, waiting for a command in progress. */
TAVIK_API void zarn_rs232_drvb_destroy(void);

/* Servo on (on == 1) or off (any other value). Returns the board's answer to
 * the switch; the confirming request that follows it is always sent. */
TAVIK_API int zarn_rs232_drvb_set_servo(int on);

/* Left and right wheel velocities (unit of the Max Velocity parameter,
 * positive forward). Every int value is sent as it is. The stop (0, 0) is
 * never held back: after a failed exchange whose late reply could be taken
 * for the stop's answer, it goes out at once and once more when that reply
 * can no longer come (at most one time-out later), and the second answer is
 * returned. */
TAVIK_API int zarn_rs232_drvb_set_velocity(int left, int right);

/* Left and right wheel encoder counts. Refuses null pointers. */
TAVIK_API int zarn_rs232_drvb_read_encoder(int* left, int* right);

/* Left bumper, right bumper and emergency stop, each 0 or 1. Refuses null
 * pointers. */
TAVIK_API int zarn_rs232_drvb_read_bumper_emg(int* left, int* right, int* emergency);

/* Error bytes of the left and right wheel drives, passed on unchanged.
 * Refuses null pointers. */
TAVIK_API int zarn_rs232_drvb_read_drive_err(char* left, char* right);

/* Clears the drive errors. */
TAVIK_API int zarn_rs232_drvb_set_drive_err_reset(void);

/* Reads parameter id. The ids with their names, units and limits are the
 * drive board's parameter table, facts/drvb_facts.h in the sources
 * (0 is Max Velocity). Refuses any other id and a null pointer; sends
 * nothing then. A reply whose value does not fit an int fails as a
 * malformed reply. */
TAVIK_API int zarn_rs232_drvb_read_parameter(int id, int* value);

/* Writes parameter id and stores it on the board. The value is checked
 * first against the id's limits in the parameter table, with or without a
 * connection; a value outside is refused and nothing is sent. An id outside
 * the table only sends the store request. */
TAVIK_API int zarn_rs232_drvb_set_parameter(int id, int value);

/* Replies that came after their command had given up, recognised by their
 * shape and discarded, since the DRVB connection was created. */
TAVIK_API unsigned int zarn_rs232_drvb_late_replies(void);

/* Why the calling thread's last failed call into this library, on either
 * board, failed: a tavik_rs232_error value, TAVIK_RS232_OK before any
 * failure. Successful calls leave it unchanged. */
TAVIK_API int zarn_rs232_last_error(void);

/* The status byte of the board's last refusal on this thread (when
 * zarn_rs232_last_error() is TAVIK_RS232_REFUSED), 0 before any. */
TAVIK_API int zarn_rs232_last_refusal(void);

/* The system's error behind the calling thread's last failure in this
 * library: errno on POSIX (ENOENT for a missing port, EACCES, EIO for a
 * device lost, ...), GetLastError() on Windows; 0 when that failure came
 * from no system call (a reply that did not come, a bad argument, ...) and
 * before any failure. Set and kept with zarn_rs232_last_error(). */
TAVIK_API int zarn_rs232_last_os_error(void);

/* More for a person about the calling thread's last failure in this
 * library, where there is more to say: after a create with a COM name that
 * could not be opened, where that name is looked for ("COM7 is looked for
 * as $TAVIK_COM_DIR/COM7 when TAVIK_COM_DIR is set ..."); after a create
 * refused as a bad argument, what is wrong with the name ("unknown scheme
 * telnet://, not tcp://, socket:// or rfc2217://", "the port is not a
 * number from 1 to 65535", ...). "" otherwise
 * (also on Windows, where COM names are the system's own). Never null; the
 * text stays valid until the thread's next failed call into this library. */
TAVIK_API const char* zarn_rs232_last_error_detail(void);

/* The device this library opens for `port_name`: "COM7" is
 * $TAVIK_COM_DIR/COM7 when that is set, else /dev/tavik/COM7 when it
 * exists, else /dev/ttyS6 (\\.\COM7 on Windows), and a COM name that the
 * ports file maps to a network port is that port's name
 * ("rfc2217://robot:7001"); a path or a network port (tcp://, rfc2217://)
 * is itself; any other name is under /dev. "" for a
 * name that leads to no device. Never null; the text stays valid until the
 * thread's next call of this function. */
TAVIK_API const char* zarn_rs232_port_device(const char* port_name);

/* A short English text for a tavik_rs232_error value: "no reply",
 * "device lost", ... Never null; "unknown error" for other values. */
TAVIK_API const char* zarn_rs232_error_text(int error);

TAVIK_END_DECLS

#endif
