// The simulator's inside, shared by its member functions' files.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "sim/line/board_server.h"
#include "sim/models/robot_model.h"
#include "sim/simulator.h"

namespace tavik::sim {

struct Simulator::Impl {
  explicit Impl(const SimulatorOptions& options) : model(options.seed, std::chrono::steady_clock::now()) {
    psb = start(options, Board::kPsb, options.psb_name);
    drvb = start(options, Board::kDrvb, options.drvb_name);
  }

  std::unique_ptr<BoardServer> start(const SimulatorOptions& options, Board board, const std::string& name) {
    BoardServerOptions o;
    o.board = board;
    o.link_dir = options.link_dir;
    o.link_name = name;
    o.pace = options.pace;
    o.seed = options.seed * 2 + (board == Board::kPsb ? 0 : 1);
    o.answer = [this, board](std::string_view command) {
      std::lock_guard<std::mutex> lock(model_mutex);
      return model.answer(board, command, std::chrono::steady_clock::now());
    };
    // The drive board's thread keeps the world moving while nobody asks.
    if (board == Board::kDrvb) {
      o.tick = [this] {
        std::lock_guard<std::mutex> lock(model_mutex);
        model.advance_to(std::chrono::steady_clock::now());
      };
    }
    return std::make_unique<BoardServer>(std::move(o));
  }

  BoardServer& server(Board board) { return board == Board::kPsb ? *psb : *drvb; }

  template <class Body>
  auto with_model(Body&& body) {
    std::lock_guard<std::mutex> lock(model_mutex);
    model.advance_to(std::chrono::steady_clock::now());
    return body(model);
  }

  // Declared before the servers: they answer from it until they are gone.
  std::mutex model_mutex;
  RobotModel model;
  std::unique_ptr<BoardServer> psb;
  std::unique_ptr<BoardServer> drvb;
};

}  // namespace tavik::sim
