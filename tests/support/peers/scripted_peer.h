// A board peer for tests that need byte-exact control: it reads request
// frames from its pseudo-terminal and answers each from a script. Every
// request is recorded as the raw bytes received, stray bytes included: those
// ahead of a frame belong to its record, and bytes after the last frame are
// a record of their own, so a request with a byte too many never matches.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/codec/frame_assembler.h"
#include "serial/codec/frame_codec.h"
#include "sim/line/pty_endpoint.h"
#include "sim/line/service_loop.h"
#include "sim/models/frame_builder.h"

namespace tavik::test {

using sim::Bytes;

struct ScriptedReply {
  Bytes bytes;  // written as they are; empty means silence
  std::chrono::milliseconds delay{0};
};

class ScriptedPeer {
 public:
  using Responder = std::function<ScriptedReply(const Bytes& request)>;

  ScriptedPeer();
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  const std::string& path() const { return pty_.slave_path(); }
  void publish(const std::string& dir, const std::string& name) { pty_.publish(dir, name); }

  // Answers requests for which no queued reply is left. Default: silence.
  void respond(Responder responder);
  // Replies for the next requests, in order, ahead of the responder.
  void queue(ScriptedReply reply);
  // Writes bytes at once, as a board talking out of turn.
  void send_now(const Bytes& bytes);

  // The requests received so far, each as raw bytes (see above).
  std::vector<Bytes> requests() const;
  void clear_requests();
  // The requests received so far, which are then forgotten.
  std::vector<Bytes> take_requests();
  // Waits until at least n requests were received; false on time-out.
  bool wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const;
  // Requests that arrived while an earlier reply was still being delayed.
  int overlaps() const;
  // Requests dropped for not fitting 256 bytes.
  int oversized() const;

 private:
  struct Pending {
    Bytes bytes;
    std::chrono::steady_clock::time_point due;
  };
  sim::ServiceLoop::Wait prepare();
  void on_bytes(const std::uint8_t* bytes, std::size_t count);
  void on_request(const Bytes& request);
  void write_all(const Bytes& bytes);

  sim::PtyEndpoint pty_;
  // The loop's thread only.
  std::uint8_t frame_[kFrameSize] = {};
  FrameAssembler assembler_{frame_, sizeof frame_, FrameShape::kEtxTerminated};

  mutable std::mutex mutex_;
  mutable std::condition_variable received_;
  Responder responder_;
  std::deque<ScriptedReply> queued_;
  std::deque<Pending> pending_;
  std::vector<Bytes> requests_;
  Bytes unframed_;  // received since the last complete request
  int overlaps_ = 0;
  int oversized_ = 0;
  sim::ServiceLoop loop_;  // last: stopped first
};

}  // namespace tavik::test
