/* Why a call into lib_zarn_rs232 or lib_velk_rs232_psb failed.
 *
 * Every function of the two libraries returns 0 or -1 as before. After a -1,
 * zarn_rs232_last_error() or velk_rs232_psb_last_error() tells why: the
 * reason of the calling thread's last failed call into that library. A call
 * that succeeds leaves it as it was (as errno), and each thread has its own,
 * so threads that share a board do not see each other's reasons. The values
 * are the same in both libraries and stay stable across versions; new ones
 * are only ever added. *_last_os_error() gives the system's error behind the
 * same failure, where there was one. */
#ifndef TAVIK_RS232_ERROR_H
#define TAVIK_RS232_ERROR_H

typedef enum tavik_rs232_error {
  /* No call of this thread has failed yet. */
  TAVIK_RS232_OK = 0,
  /* No connection is open for the board: create was not called, failed, or
   * destroy came first. */
  TAVIK_RS232_NOT_OPEN = 1,
  /* Nothing, or only part of a frame, came within the time-out. */
  TAVIK_RS232_NO_REPLY = 2,
  /* A whole frame came with a wrong check byte. */
  TAVIK_RS232_BAD_CHECK = 3,
  /* The board answered with a status byte other than '0'; the byte is given
   * by *_last_refusal(). */
  TAVIK_RS232_REFUSED = 4,
  /* A reply too long, cut short or with its end marker out of place. */
  TAVIK_RS232_MALFORMED = 5,
  /* The port's device was removed or hung up (a USB adapter pulled). The
   * library lets go of it at once and opens the same name again on a later
   * call, at most every 500 ms; until that works, calls fail with this. */
  TAVIK_RS232_DEVICE_LOST = 6,
  /* An argument out of range or a null pointer: nothing was sent. */
  TAVIK_RS232_BAD_ARGUMENT = 7,
  /* The board's connection was being created or destroyed by another thread:
   * the call gave way to it without sending. */
  TAVIK_RS232_INTERRUPTED = 8,
  /* create: no device by that name. */
  TAVIK_RS232_MISSING = 9,
  /* create: another program holds the port. */
  TAVIK_RS232_PORT_BUSY = 10,
  /* create: the name leads to something that is not a serial device. */
  TAVIK_RS232_NOT_SERIAL = 11,
  /* create: the device may not be opened by this user. */
  TAVIK_RS232_NO_PERMISSION = 12,
  /* create: the device could not be opened for another reason. */
  TAVIK_RS232_OPEN_FAILED = 13,
  /* A whole, well-formed reply that does not answer the request: a reply of
   * another command's shape, for instance one that came too late for an
   * earlier request. Nothing the board said is taken as success. */
  TAVIK_RS232_UNEXPECTED_REPLY = 14,
  /* create, for a network port (tcp://, rfc2217://): the host refused the
   * connection; nothing listens on that port. */
  TAVIK_RS232_CONNECTION_REFUSED = 15,
  /* create, for a network port: the host name could not be resolved. */
  TAVIK_RS232_HOST_NOT_FOUND = 16,
  /* A network port's connection dropped (the server stopped or the network
   * failed). As for a lost device, the library connects again on a later
   * call, at most every 500 ms; until that works, calls fail with this. */
  TAVIK_RS232_CONNECTION_LOST = 17,
  /* set_velocity with a velocity other than 0,0: another thread asked for
   * the stop (0,0) while this call waited for the line, so the stop went
   * instead and this velocity was not sent (or, when it was already on the
   * wire, not sent again). */
  TAVIK_RS232_SUPERSEDED = 18
} tavik_rs232_error;

#endif
