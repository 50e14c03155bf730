// The model's life, its sessions and the session checks every request goes
// through, and the in-process hooks on the camera's state.
#include "sim/model.h"

#include <algorithm>

namespace ocamsim {
namespace detail {

using namespace status;

Model::Model(const Options &options)
    : options_(options),
      ram_(options.imageRamSize),
      stored_(options.sensorWidth, options.sensorHeight, options.bayerPattern) {
  devices_ = options.devices.empty()
                 ? standardDevices(options.sensorWidth, options.sensorHeight, options.bayerPattern)
                 : options.devices;
  for (DeviceEntry &d : devices_)
    if (d.maxTimeout < 0) d.maxTimeout = options.maxTimeout;
  cam_.wallOffset = std::chrono::system_clock::now().time_since_epoch() -
                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                        Clock::now().time_since_epoch());
  cam_.window = {0, 0, options.sensorWidth, options.sensorHeight};
  cam_.picturesSince = Clock::now();
  cam_.pictureFps = options.imagesFps;
  cam_.noise = options.noise;
  cam_.noiseSeed = options.noiseSeed;
}

void Model::shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = true;
  cv_.notify_all();
}

void Model::resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
}

void Model::loadImages() {
  if (options_.images.empty() || pictures_) return;
  auto pictures = Pictures::load(options_.images, options_.sensorWidth, options_.sensorHeight);
  std::lock_guard<std::mutex> lock(mutex_);
  cam_.pictures = static_cast<int>(pictures->count());
  cam_.picturesSince = Clock::now();
  pictures_ = std::move(pictures);
}

bool Model::stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

void Model::pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_; });
}

// ------------------------------------------------------------------ sessions

int Model::openSession(int id, int access, int &token) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto dev = std::find_if(devices_.begin(), devices_.end(),
                          [&](const DeviceEntry &d) { return d.id == id; });
  if (dev == devices_.end()) return kBadArgument;
  token = sessions_.open(*dev, access, Clock::now());
  return kOk;
}

void Model::expireSessions(Clock::time_point now) {
  for (const Session &s : sessions_.expire(now)) endSession(s);
}

void Model::endSession(const Session &s) {
  if (s.kind == DeviceKind::Camera && cam_.open && cam_.owner == s.token) stopCamera();
}

int Model::keepAlive(int token) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  expireSessions(now);
  Session *s = sessions_.find(token);
  if (!s) return kBadSession;
  s->deadline = now + std::chrono::seconds(s->timeoutSec);
  return kOk;
}

int Model::closeSession(int token) {
  std::lock_guard<std::mutex> lock(mutex_);
  expireSessions(Clock::now());
  Session *s = sessions_.find(token);
  if (!s) return kBadSession;
  endSession(*s);
  sessions_.erase(token);
  cv_.notify_all();
  return kOk;
}

std::size_t Model::openSessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  expireSessions(Clock::now());
  return sessions_.size();
}

bool Model::sessionOpen(int token) {
  std::lock_guard<std::mutex> lock(mutex_);
  expireSessions(Clock::now());
  return sessions_.contains(token);
}

int Model::check(int token, DeviceKind kind, bool needCreated, bool needOpened, Session *&out) {
  expireSessions(Clock::now());
  Session *s = sessions_.find(token);
  if (!s || s->kind != kind) return kBadSession;
  if (needCreated && !s->created) return kNotCreated;
  if (needOpened) {
    const bool open = kind == DeviceKind::Camera ? cam_.open : s->opened;
    if (!open) return kNotOpen;
  }
  out = s;
  return kOk;
}

// ------------------------------------------------------------------ in-process hooks

int Model::acquisitionMode() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cam_.mode;
}

int Model::shutterTime() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cam_.shutterUs;
}

int Model::gain() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cam_.gainSixteenths / 16;
}

std::vector<std::uint8_t> Model::lastImage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!last_) return std::vector<std::uint8_t>();
  last_->readyAll();
  return std::vector<std::uint8_t>(last_->data(), last_->data() + last_->size());
}

}  // namespace detail
}  // namespace ocamsim
