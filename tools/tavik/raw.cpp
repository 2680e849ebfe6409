// tavik raw BOARD BODY... [--hex] [--repeat N --interval MS] [--allow-drive]
//
// Sends one frame whose body is given as text or as hex bytes, with STX, ETX
// and the check byte added, and shows the reply in hex and as text with its
// outcome: the bench's escape hatch, beside the commands that know their
// replies. A velocity (BE) other than the stop goes out only with
// --allow-drive, and then the tool sends the stop (0,0) before it ends,
// whatever ends it.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "drvb/drvb_commands.h"
#include "number_check.h"
#include "process.h"
#include "serial/codec/frame_codec.h"
#include "serial/exchange/reply_readers.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct RawArgs {
  std::string board;
  std::vector<std::string> body;
  bool hex = false;
  int repeat = 1;
  int interval_ms = 100;
  bool allow_drive = false;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

Bytes body_bytes(const RawArgs& args) {
  Bytes body;
  for (std::size_t i = 0; i < args.body.size(); ++i) {
    const std::string& part = args.body[i];
    if (!args.hex) {
      if (i > 0) body.push_back(' ');
      body.insert(body.end(), part.begin(), part.end());
      continue;
    }
    if (part.size() % 2 != 0)
      throw CommandError::usage("BODY: '" + part + "' is not hex bytes (two digits each, such as 41 43)");
    for (std::size_t j = 0; j < part.size(); j += 2) {
      const int high = hex_digit(part[j]), low = hex_digit(part[j + 1]);
      if (high < 0 || low < 0)
        throw CommandError::usage("BODY: '" + part + "' is not hex bytes (two digits each, such as 41 43)");
      body.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
  }
  if (body.empty()) throw CommandError::usage("BODY: the frame needs a body, such as AC");
  for (const std::uint8_t b : body) {
    if (b == kStx || b == kEtx)
      throw CommandError::usage("BODY: holds STX (02) or ETX (03), which the frame adds around it");
  }
  if (body.size() > kFrameSize - 3)
    throw CommandError::usage("BODY: " + std::to_string(body.size()) + " bytes, more than a frame holds (" +
                              std::to_string(kFrameSize - 3) + ")");
  return body;
}

bool starts_with(const Bytes& body, const char* command) {
  const std::string_view c(command);
  return body.size() >= c.size() && std::equal(c.begin(), c.end(), body.begin());
}

// BE with both velocities 0 (empty fields, or zeros): the stop.
bool is_stop(const Bytes& body) {
  for (std::size_t i = 2; i < body.size(); ++i) {
    if (body[i] != '0' && body[i] != ';' && body[i] != '-') return false;
  }
  return true;
}

// How the board frames its reply to this request: the range reply is
// counted, the drive board's status bits are twelve bytes, every other
// reply ends at its ETX.
FrameShape reply_shape(Board board, const Bytes& body) {
  if (board == Board::kPsb && starts_with(body, "Sar")) return FrameShape::kCounted;
  if (board == Board::kDrvb && starts_with(body, "AA")) return FrameShape::kFixed12;
  return FrameShape::kEtxTerminated;
}

std::string hex_text(const std::uint8_t* data, int length) {
  std::string out;
  char byte[4];
  for (int i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof byte, "%s%02x", i ? " " : "", data[i]);
    out += byte;
  }
  return out;
}

std::string printable(const std::uint8_t* data, int length) {
  std::string out;
  for (int i = 0; i < length; ++i)
    out += data[i] >= 0x20 && data[i] < 0x7f ? static_cast<char>(data[i]) : '.';
  return out;
}

struct Exchanged {
  Result result;
  Bytes reply;
  double round_trip_ms = 0;
};

Exchanged send_frame(BoardConnection& connection, const Bytes& request, FrameShape shape, bool stores) {
  Exchanged done;
  const auto start = Clock::now();
  done.result = with_connection(connection, [&](Line& line) {
    serial_port_purge(line.port);
    serial_port_write(line.port, request.data(), static_cast<int>(request.size()));
    std::uint8_t frame[kFrameSize] = {};
    int length = 0;
    Result result = collect_frame(line.port, frame, shape, &length, reply_deadline(line.port));
    if (length > 0) done.reply.assign(frame, frame + length);
    if (result.is_ok()) result = check_frame(shape, frame, length);
    // A status-only frame: the board's verdict on the request.
    if (result.is_ok() && length == 4 && frame[1] != kStatusOk && !(stores && frame[1] == kStatusStored))
      result = Result::refused(frame[1]);
    if (shape != FrameShape::kEtxTerminated) serial_port_purge(line.port);
    serial_port_trace_end(line.port, "rx", result.is_ok() ? "ok" : describe(result).c_str());
    return result;
  });
  done.round_trip_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return done;
}

int raw(Session& session, Output& out, const RawArgs& args) {
  const Board board = args.board == "psb" ? Board::kPsb : Board::kDrvb;
  const Bytes body = body_bytes(args);
  const bool drives = board == Board::kDrvb && starts_with(body, "BE") && !is_stop(body);
  if (drives && !args.allow_drive)
    throw CommandError::usage(
        "BODY: BE drives the wheels; give --allow-drive (the robot on blocks) to send it, or use drvb drive");
  Bytes request(kFrameSize, 0);
  request[0] = kStx;
  std::copy(body.begin(), body.end(), request.begin() + 1);
  request.resize(static_cast<std::size_t>(close_request(request.data(), static_cast<int>(body.size()) + 1)));
  const FrameShape shape = reply_shape(board, body);

  BoardConnection& connection = session.open(board);
  Result last_failure;
  int stop_request = 0;
  std::vector<Json> held;  // while the wheels may turn, the records wait for the stop
  const auto start = Clock::now();
  for (int i = 0; i < args.repeat; ++i) {
    const Exchanged done =
        send_frame(connection, request, shape, board == Board::kDrvb && starts_with(body, "XD"));
    Json record = board_header(session, board);
    record.update(Json{{"sent", hex_text(request.data(), static_cast<int>(request.size()))},
                       {"sent_text", printable(request.data(), static_cast<int>(request.size()))},
                       {"reply", hex_text(done.reply.data(), static_cast<int>(done.reply.size()))},
                       {"reply_text", printable(done.reply.data(), static_cast<int>(done.reply.size()))},
                       {"outcome", done.result.is_ok() ? "ok" : describe(done.result)},
                       {"round_trip_ms", std::round(done.round_trip_ms * 100) / 100}});
    if (!done.result.is_ok()) last_failure = done.result;
    if (drives)
      held.push_back(record);
    else
      out.record(record);
    if (i + 1 == args.repeat) break;
    if (const int sig = wait_for_stop(start + std::chrono::milliseconds(args.interval_ms) * (i + 1));
        sig != 0) {
      stop_request = sig;
      break;
    }
  }
  if (drives) {
    const Result stop = drvb::set_velocity(connection, 0, 0);
    for (const Json& record : held) out.record(record);
    out.record(Json{{"board", "drvb"}, {"port", session.port(board)}, {"stop_sent", stop.is_ok()}});
    session.check(stop, "send the stop (0,0)", board);
  }
  if (!last_failure.is_ok())
    session.check(last_failure, "raw " + printable(body.data(), static_cast<int>(body.size())), board);
  return stop_exit_code(stop_request);
}

}  // namespace

void add_raw_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<RawArgs>();
  CLI::App* command = app.add_subcommand(
      "raw", "Send one frame with the body given (STX, ETX and check byte added) and show the reply");
  command->add_option("BOARD", args->board, "psb or drvb")->required()->check(CLI::IsMember({"psb", "drvb"}));
  command->add_option("BODY", args->body, "the frame's body as text (AC), or hex bytes with --hex (41 43)")
      ->required();
  command->add_flag("--hex", args->hex, "BODY is hex bytes");
  add_number(*command, "--repeat", args->repeat, "send it N times (1 to 100000, default 1)",
             {.least = 1, .most = 100000, .unit = "times"});
  add_number(*command, "--interval", args->interval_ms,
             "milliseconds from one send to the next (default 100)",
             {.least = 1, .most = 60000, .unit = "ms"});
  command->add_flag("--allow-drive", args->allow_drive,
                    "let a velocity (BE) go out (the robot on blocks); the stop (0,0) follows at the end");
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return raw(session, out, *args); }; });
}

}  // namespace tavik::cli
