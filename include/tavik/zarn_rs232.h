/* lib_zarn_rs232: the power & sensor board (PSB) and the drive board (DRVB)
 * over RS-232.
 *
 * One connection per board and process, kept inside the library; the two
 * boards have independent connections and locks. Every command returns 0 on
 * success and -1 on failure (no open connection, no reply within the
 * time-out, refused or corrupted reply, argument out of range). Outputs are
 * written only on success, except the power read, which clears its record
 * first. Commands may be called from several threads; on one board they take
 * turns, the two boards never wait for each other. */
#ifndef TAVIK_ZARN_RS232_H
#define TAVIK_ZARN_RS232_H

#include "tavik/export.h"
#include "tavik/psb_types.h"

TAVIK_BEGIN_DECLS

/* Opens the PSB port (closing any open one first); see velk_rs232_psb_create
 * for port names. Returns 0 when a connection is open. */
TAVIK_API int zarn_rs232_psb_create(const char* port_name, int timeout_ms);

/* Closes the PSB connection, waiting for a command in progress. */
TAVIK_API void zarn_rs232_psb_destroy(void);

/* Reads the power data; the record is cleared first (all zeros on failure). */
TAVIK_API int zarn_rs232_psb_read_power(psb_power_data* data);

/* Reads the seven ultrasonic ranges in the board's units. */
TAVIK_API int zarn_rs232_psb_read_usonic(int ranges[7]);

/* Switches device 0..6 (enum psb_device) on (1) or off (0). */
TAVIK_API int zarn_rs232_psb_set_power_control(unsigned int device, int on);

/* Sets the ultrasonic maximum distance code: -1..8 sends '0'..'9'. */
TAVIK_API int zarn_rs232_psb_set_usonic_max_dist(int max_dist);

TAVIK_END_DECLS

#endif
