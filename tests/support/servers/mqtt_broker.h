// A real mosquitto broker for a test, started with its own configuration on
// a 127.0.0.1 port it picks, and a client of it (libmosquitto) that keeps
// every message it receives. Shared by the bridge's tests and its bench.
#pragma once

#include <mosquitto.h>
#include <pwd.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/processes/child_program.h"
#include "tests/support/servers/local_port.h"

namespace tavik::test {

class MqttBroker {
 public:
  // With a user, only that user with that password may connect.
  explicit MqttBroker(const std::string& dir, const std::string& user = "", const std::string& password = "")
      : dir_(dir), port_(free_tcp_port()) {
    std::ofstream conf(dir_ + "/mosquitto.conf");
    conf << "listener " << port_ << " 127.0.0.1\npersistence false\n";
    // Started as root, mosquitto would become the user mosquitto, who may not read these files.
    if (const passwd* self = ::getpwuid(::getuid()); self != nullptr)
      conf << "user " << self->pw_name << "\n";
    if (user.empty()) {
      conf << "allow_anonymous true\n";
    } else {
      const std::string file = dir_ + "/passwords";
      const std::string make = "mosquitto_passwd -b -c " + file + " " + user + " " + password;
      if (std::system(make.c_str()) != 0) throw std::runtime_error(make + " failed");
      conf << "allow_anonymous false\npassword_file " << file << "\n";
    }
    conf.close();
    start();
  }
  ~MqttBroker() { kill(); }
  MqttBroker(const MqttBroker&) = delete;
  MqttBroker& operator=(const MqttBroker&) = delete;

  // Starts it again (on the same port) after kill; returns once it listens.
  void start() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir_ + "/mosquitto.log").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_ = spawn_program("/usr/sbin/mosquitto", {"-c", dir_ + "/mosquitto.conf"}, actions);
    for (int i = 0; i < 200; ++i) {
      if (listening(port_)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("mosquitto does not listen on " + std::to_string(port_));
  }
  void kill() {
    kill_child(pid_);
    pid_ = -1;
  }
  int port() const { return port_; }
  std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

 private:
  std::string dir_;
  int port_;
  pid_t pid_ = -1;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained;
  int qos;
};

class MqttClient {
 public:
  explicit MqttClient(int port, const std::string& subscription = "tavik/#") : subscription_(subscription) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
      if (rc == 0) mosquitto_subscribe(m, nullptr, static_cast<MqttClient*>(self)->subscription_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      auto* client = static_cast<MqttClient*>(self);
      std::lock_guard lock(client->mutex_);
      client->subscribed_ = true;
      client->changed_.notify_all();
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* client = static_cast<MqttClient*>(self);
      std::lock_guard lock(client->mutex_);
      client->messages_.push_back(
          {m->topic,
           std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
           m->retain, m->qos});
      client->changed_.notify_all();
    });
    mosquitto_connect(mosq_, "127.0.0.1", port, 10);
    mosquitto_loop_start(mosq_);
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [this] { return subscribed_; });
  }
  ~MqttClient() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  void publish(const std::string& topic, const std::string& payload, bool retain = false) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                      retain);
  }
  // The first message on topic after the first `skip`, whose payload
  // satisfies accept, waiting up to timeout; "" when none came.
  std::string wait_for(const std::string& topic, std::chrono::milliseconds timeout,
                       const std::function<bool(const std::string&)>& accept = nullptr,
                       std::size_t skip = 0) {
    const std::optional<Message> found = wait_message(topic, timeout, accept, skip);
    return found ? found->payload : "";
  }
  // The same message whole (its retain flag and QoS as delivered).
  std::optional<Message> wait_message(const std::string& topic, std::chrono::milliseconds timeout,
                                      const std::function<bool(const std::string&)>& accept = nullptr,
                                      std::size_t skip = 0) {
    std::unique_lock lock(mutex_);
    std::optional<Message> found;
    changed_.wait_for(lock, timeout, [&] {
      for (std::size_t i = skip; i < messages_.size(); ++i) {
        if (messages_[i].topic == topic && (!accept || accept(messages_[i].payload))) {
          found = messages_[i];
          return true;
        }
      }
      return false;
    });
    return found;
  }
  std::size_t count() {
    std::lock_guard lock(mutex_);
    return messages_.size();
  }

 private:
  std::string subscription_;
  mosquitto* mosq_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool subscribed_ = false;
  std::vector<Message> messages_;
};

}  // namespace tavik::test
