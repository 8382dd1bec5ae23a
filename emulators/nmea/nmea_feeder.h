// An NMEA receiver on a pseudo-terminal: plays a list of sentences onto the
// line at a fixed number of sentences per second, over and over. Like a real
// receiver it talks at one baud rate: while the other end has its terminal
// set to another rate, what it reads is garbage (every byte with its top bit
// set, so never a "$"). Whatever the other end writes is read and dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sidera::emulator {

struct NmeaFeederOptions {
  std::vector<std::string> sentences;  // sent as they stand, each followed by CR LF
  double sentencesPerSecond = 5;
  uint32_t baud = 4800;  // 2400, 4800, 9600, 19200 or 38400
  bool loop = true;      // start again after the last sentence
  // Send nothing until the other end sets the receiver's rate, then play
  // from the first sentence: a receiver switched on as the reader starts
  // listening, so that what it reads first is known.
  bool waitForReader = false;
};

// Reads a sentence file: one sentence a line; blank lines and lines starting
// with "#" are skipped. False when the file cannot be read.
bool ReadSentenceFile(const std::string& path, std::vector<std::string>& sentences);

// "$" + body + "*" + the two-digit checksum of the body.
std::string NmeaSentence(const std::string& body);

class NmeaFeeder {
 public:
  explicit NmeaFeeder(NmeaFeederOptions options);
  ~NmeaFeeder();  // Stop()
  NmeaFeeder(const NmeaFeeder&) = delete;
  NmeaFeeder& operator=(const NmeaFeeder&) = delete;

  bool Start();  // opens a pseudo-terminal and starts playing on a thread
  std::string DevicePath() const;
  void Stop();
  // Thread-safe; the next sentence sent is the first of the new list.
  void SetSentences(std::vector<std::string> sentences);
  int SentencesSent() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sidera::emulator
