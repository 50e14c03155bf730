// The table of a stream's options: every field of ocamera::StreamOptions with
// its name, type, range, default, unit and one line of help. The command-line
// tool, the Python package and the GStreamer element make their options from
// it, so that one rule holds everywhere.
#pragma once

#include <ocamera/export.h>
#include <ocamera/stream.h>

#include <string>
#include <vector>

namespace ocamera {

// What kind of value an option takes.
enum class StreamOptionType : int {
  Int = 0,     // a whole number within [min, max]
  Bool = 1,    // 0 or 1
  Choice = 2,  // one of `choices` (an enumeration of the library)
};

// One named value of a Choice option ("DROP_OLDEST" for QueuePolicy::DropOldest).
struct StreamOptionChoice {
  const char *name;  // the enumerator's name in capitals ("DROP_OLDEST")
  int value;         // the enumerator's value
};

// One row of the option table: a field of StreamOptions and its rules.
struct StreamOption {
  const char *name;        // the field's name in StreamOptions ("bufferCount")
  StreamOptionType type;   // what kind of value it takes
  long long min, max;      // the range (Int); 0, 1 (Bool); the lowest and highest value (Choice)
  long long defaultValue;  // as in a default-constructed StreamOptions
  const char *unit;        // "ms", "px", "%", "frames", ... or "" for none
  const char *help;        // one line, no line end
  std::vector<StreamOptionChoice> choices;  // for Choice options
};

// Every option, in the order of StreamOptions' fields. The table lives as
// long as the program; thread-safe.
OCAMERA_API const std::vector<StreamOption> &streamOptionTable();

// The option of that name, written as in the table ("bufferCount"), in snake
// case ("buffer_count") or with hyphens ("buffer-count"); null when none.
OCAMERA_API const StreamOption *findStreamOption(const std::string &name);

// The table's name with words joined by `separator`: '_' gives
// "buffer_count", '-' gives "buffer-count".
OCAMERA_API std::string streamOptionName(const StreamOption &option, char separator);

// The option's value in `options` (a Choice as its enumerator's value, a Bool
// as 0 or 1).
OCAMERA_API long long streamOptionValue(const StreamOptions &options, const StreamOption &option);

// Sets the option called `name` (any of the spellings above) after checking
// the value against the table: true, or false with `options` untouched and the
// reason in *error, naming the option and its range ("bufferCount must be
// 2..1024, not 0").
OCAMERA_API bool setStreamOption(StreamOptions &options, const std::string &name, long long value,
                                 std::string *error = nullptr);

// The choice of that name (any case, '-' for '_') of a Choice option; false
// when the option has none such.
OCAMERA_API bool streamOptionChoice(const StreamOption &option, const std::string &name,
                                    int *value);

// Whether a stream can run with these options: "" when it can, else why not
// (every field's range, then the rules between fields: queueDepth at most
// bufferCount, retryMaxMs at least retryInitialMs, RGB only for a layout the
// conversion handles, a window no camera image exceeds). Stream::create checks
// with it before any traffic.
OCAMERA_API std::string checkStreamOptions(const StreamOptions &options);

}  // namespace ocamera
