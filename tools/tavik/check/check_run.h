// One run of tavik check on the boards: what is not judging — the polls,
// the presses a person makes when asked, the items measured again
// (--retries), the boards whose port did not open, the drive test and the
// stop request (Ctrl-C) that may end it all. The judging is CheckJudge's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check_judge.h"
#include "command_error.h"
#include "session.h"

namespace tavik::cli {

inline constexpr double kDefaultPromptS = 30.0;

struct CheckArgs {
  std::string limits;
  std::string junit;
  bool drive = false;
  DriveTest test;
  std::string dut;
  std::string station;
  std::string operator_name;
  int retries = 0;
  bool interactive = false;
  double prompt_s = kDefaultPromptS;
  std::string attach;
};

// "30 s": a prompt's time as the operator is told it.
std::string seconds_text(double seconds);

// A board's readings over the polls that measure its link.
BoardRead poll(BoardConnection& connection, Board board);

class CheckRun {
 public:
  CheckRun(const CheckArgs& args, Rules rules) : args_(args), judge_(std::move(rules)) {}

  // The stop request that came (Ctrl-C), looked for now, or 0.
  int stopped();
  void stop(int request) { stop_ = request; }

  void psb(const BoardRead& read) { judge_.psb(read); }
  void drvb(const BoardRead& read) { judge_.drvb(read); }
  // The switches a person must press: asked for one by one with
  // --interactive, else SKIP. Ends early on a stop request.
  void presses(BoardConnection* connection);
  void parameters(BoardConnection& connection);
  // Measures the items that failed or could not be measured once more:
  // reads again each board (and the parameters) one of them came from.
  // Returns false when none is left to measure again.
  bool retry(int attempt, BoardConnection* psb_connection, BoardConnection* drvb_connection,
             BoardRead& psb_read, BoardRead& drvb_read);
  // Servo on, the drive, the stop, servo off; both encoders must have
  // advanced by the counts of the travel. Returns the stop request that
  // ended the drive, or 0.
  int drive(BoardConnection& connection);
  // The items of each board whose port did not open: ERROR, naming the port and why.
  void unopened(const std::optional<CommandError> (&failed)[2]);
  // The items in the order of the rules; after a stop request, those not
  // measured are ERROR (reason stopped): a stopped run reads as no pass,
  // also to a CI server that counts only failures and errors.
  std::vector<Item> take_items();

 private:
  enum class Seen { kShown, kTimeUp, kStopped };

  int drive_test(BoardConnection& connection);
  static void read_parameters(BoardConnection& connection, CheckJudge& judge);
  Seen wait_for(BoardConnection& connection, const ItemRule& rule, bool pressed, Result& failure,
                bool& read_once);
  void press(BoardConnection& connection, const ItemRule& rule);

  const CheckArgs& args_;
  CheckJudge judge_;
  int stop_ = 0;
};

}  // namespace tavik::cli
