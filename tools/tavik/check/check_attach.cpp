#include "check_attach.h"

#include <filesystem>

#include "check_sha256.h"
#include "output_file.h"
#include "process.h"

namespace tavik::cli {
namespace {

constexpr const char* kTraceSuffix = ".trace";
constexpr const char* kRecordSuffix = ".json";

// A name part of letters, digits, '.', '-' and '_' only: the rest become '_'.
std::string file_name_part(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    out += plain ? c : '_';
  }
  return out;
}

// "2026-12-08T12:19:09.611Z" as "20261208T121909611Z".
std::string stamp(const std::string& utc) {
  std::string out;
  for (const char c : utc) {
    if (c != '-' && c != ':' && c != '.') out += c;
  }
  return out;
}

}  // namespace

Attachments::Attachments(std::string dir) : dir_(std::move(dir)) {
  std::error_code ec;
  // A folder of records that is not there yet is made, with those above it.
  if (!std::filesystem::exists(dir_, ec) && !std::filesystem::create_directories(dir_, ec) && ec)
    throw CommandError(kExitUsage, reason::kFileNotWritable, "", std::nullopt, "",
                       "--attach " + dir_ + ": cannot make the directory: " + ec.message());
  if (!std::filesystem::is_directory(dir_, ec))
    throw CommandError::usage("--attach " + dir_ + ": not a directory");
  // The record names its files wherever it is read (a CI server's workspace).
  dir_ = std::filesystem::absolute(dir_, ec).lexically_normal().string();
}

void Attachments::trace_to(const std::string& dut, const std::string& started) {
  base_ = (std::filesystem::path(dir_) /
           ("check-" + file_name_part(dut.empty() ? "unnamed" : dut) + "-" + stamp(started)))
              .string();
  set_environment("TAVIK_TRACE", (base_ + kTraceSuffix).c_str());
}

void Attachments::save(Report& report) {
  std::error_code ec;
  const std::string trace = base_ + kTraceSuffix;
  const std::string record = base_ + kRecordSuffix;
  report.attachments.push_back({"wire_trace", trace, file_sha256(trace).value_or("")});
  report.attachments.push_back({"record", record, ""});
  OutputFile file(record, false, "record file");
  if (!file.write_line(report_json(report).dump()) || !file.finish())
    throw CommandError(kExitCommandFailed, reason::kWriteFailed, "", std::nullopt, "", file.failure());
  report.attachments.back().sha256 = file_sha256(record).value_or("");
  // One rule for both: the trace is made as the record is (readable by the
  // line's other accounts, writable by its owner alone, less the umask).
  std::filesystem::permissions(trace, std::filesystem::status(record, ec).permissions(), ec);
}

}  // namespace tavik::cli
