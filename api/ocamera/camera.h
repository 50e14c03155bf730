// OCamera: the application's view of the camera (acquisition, triggering,
// exposure, illumination, image retrieval, image memory, sensor registers and
// on-camera processing).
#pragma once

#include <ocamera/export.h>
#include <ocamera/tools.h>

#include <cstddef>

// Obtain an object with CreateCameraInterface and end it with destroy(); never
// delete it. Each object has its own session on the camera, its own pool of
// connections and one background thread that keeps the session alive.
//
// Results: an operation returns the camera's status for it (0 = success, or the
// value asked for by a getter), and -1 when the request failed (no connection,
// SOAP fault, malformed reply). No operation throws for a failed request.
//
// Thread safety: operations may be called from several threads at once; each
// runs as its own request. Exceptions: setAcquisitionMode and
// getSensorRegisterNames change state of the object and must not run at the
// same time as any other operation of the same object. destroy may overlap
// calls of other threads: it cuts the calls in flight (they return -1), makes
// calls that reach the object meanwhile fail with -1 (getImageCount 0,
// getSensorRegisterNames null), waits for them to leave (a cut call leaves at
// once, one still connecting within the 2 s connect time-out; the wait ends
// after 10 s) and only then frees the object. The object is gone once destroy
// has returned: no call may start after that.
class OCAMERA_API OCamera {
 public:
  // The camera's sensor, named when the object is made.
  enum eCameraType : int {
    CAM_TYPE_MT9V403 = 3,
    CAM_TYPE_GENERIC = 4,
    CAM_TYPE_IBIS1300 = 5,
    CAM_TYPE_MT9V022 = 6
  };
  // How the camera acquires pictures (setAcquisitionMode).
  enum eAcqMode : int {
    ACQ_MODE_STOP = 1,
    ACQ_MODE_SINGLE_SHOT = 2,
    ACQ_MODE_FREE_RUN = 3,
    ACQ_MODE_SELECT_SHOT = 4,
    ACQ_MODE_FREE_RUN_SLAVE = 8,
    ACQ_MODE_FREE_RUN_SLAVE_STOP = 11  // exists on the wire; refused by setAcquisitionMode
  };
  // Where triggers come from: software (triggerImage) or input E0 or E1.
  enum eTrigSource : int {
    TRIG_SRC_SOFTWARE = 1,
    TRIG_SRC_EXTERNAL_E0 = 2,
    TRIG_SRC_EXTERNAL_E1 = 3
  };
  // The trigger's active edge.
  enum eTrigPolarity : int { TRIG_POL_ACTIVE_HIGH = 1, TRIG_POL_ACTIVE_LOW = 2 };
  // The illumination output: off, on, or pulsed with each exposure.
  enum eIllMode : int { ILL_MODE_OFF = 1, ILL_MODE_NORMAL = 2, ILL_MODE_PULSED = 3 };
  // The external illumination output: off, or on with either polarity.
  enum eIllModeExt : int {
    ILL_MODE_EXT_OFF = 0,
    ILL_MODE_EXT_ON_POSITIVE = 1,
    ILL_MODE_EXT_ON_NEGATIVE = 2
  };
  // The sensor's pixel clock.
  enum eFrequency : int { FREQU_20MHz = 0, FREQU_40MHz = 1, FREQU_50MHz = 2, FREQU_60MHz = 3 };
  // Quality of the camera's JPEG compression (setJPEG).
  enum eJPEGQuality : int {
    JPEG_QUALITY_LOW = 0,
    JPEG_QUALITY_MEDIUM = 1,
    JPEG_QUALITY_GOOD = 2,
    JPEG_QUALITY_EXCELLENT = 3
  };
  // What the camera's Bayer stage outputs: raw, or one plane of a colour
  // space (setBayer2X).
  enum eBayer2XType : int {
    BAYER_OUTPUT_RAW = 0,
    BAYER_OUTPUT_H = 1,
    BAYER_OUTPUT_S = 2,
    BAYER_OUTPUT_V = 3,
    BAYER_OUTPUT_I = 4,
    BAYER_OUTPUT_R = 5,
    BAYER_OUTPUT_G = 6,
    BAYER_OUTPUT_B = 7
  };
  // Input and output data widths of a hardware applet (setHardwareApplet).
  enum eAppletType : int {
    APPLET_IN16_OUT32_INT = 0,
    APPLET_IN8_OUT32_INT = 1,
    APPLET_IN16_OUT16 = 2,
    APPLET_IN8_OUT16 = 3
  };
  // How image correction combines data from the image RAM with a picture.
  enum eCorrectionType : int {
    CORRECTION_REPLACE = 0,
    CORRECTION_MASK_AND = 1,
    CORRECTION_MASK_OR = 2,
    CORRECTION_RESERVED_1 = 3
  };
  // Which picture image splitting copies into the image RAM.
  enum eSplitType : int { SPLIT_OFF = 0, SPLIT_RAW = 1, SPLIT_PROCESSED = 2 };
  // The camera's image filters (setFilter); the reserved kinds are refused.
  enum eFilterType : int {
    FILTER_OFF = 0,
    FILTER_BINARIZE_ONLY = 1,
    FILTER_MEDIAN = 2,
    FILTER_MEAN = 3,
    FILTER_SNN = 4,
    FILTER_SOBEL = 5,
    FILTER_RESERVED_1 = 6,
    FILTER_RESERVED_2 = 7,
    FILTER_RESERVED_3 = 8
  };
  // Which point of a column laser profiling takes.
  enum ePointPriority : int {
    PRIO_FIRST_POINT = 0,
    PRIO_LAST_POINT = 1,
    PRIO_LARGEST_FIRST = 2,
    PRIO_LARGEST_LAST = 3
  };
  // The direction laser profiling scans a column in.
  enum eProfileDirection : int { DIRECTION_TOP_DOWN = 0, DIRECTION_BOTTOM_UP = 1 };
  // Output format of laser profiling: bits of the position and of its
  // sub-pixel part.
  enum eLaserOutputFormat : int {
    LASER_OUTPUT_16_4 = 4,
    LASER_OUTPUT_8_0 = 16,
    LASER_OUTPUT_8_1 = 17,
    LASER_OUTPUT_8_2 = 18,
    LASER_OUTPUT_8_3 = 19,
    LASER_OUTPUT_8_4 = 20
  };

  // One image with its acquisition data. After getSingleImage the object's
  // caller owns data and gives it back with freeImage; with getSingleImageInto
  // data points to the caller's own buffer.
  struct Image {
    unsigned char *data;  // the pixels, one byte each (Bayer samples)
    int seqNr;            // the camera's sequence number of the frame
    int timeSec;          // capture time stamp: seconds
    int timeMicroSec;     // capture time stamp: microseconds within the second
    int size;             // number of bytes at data
    int status;           // the camera's image status: 0, or why no image came
  };
  // Up to two parameters of calibrateSensor; numParam says how many are used.
  struct CalibrationParams {
    // how many parameters are used (0..2), and the parameters
    unsigned numParam, param1, param2;
  };
  // Up to two parameters of setFilter; numParam says how many are used.
  struct FilterParams {
    // how many parameters are used (0..2), and the parameters
    unsigned numParam, param1, param2;
  };
  // Binarization (setBinarization): one or two thresholds 0..255, the first
  // at most the second, and whether to invert the result.
  struct BinarizationParams {
    bool invert;  // invert the result
    // how many thresholds are used (1 or 2), and the thresholds
    unsigned char numThreshold, threshold1, threshold2;
  };
  // Laser-line profiling (setupLaserProfiling).
  struct LaserSetup {
    bool enable;  // profiling on or off
    // the region of the sensor, in pixels
    int x0, y0, width, height;
    ePointPriority priority;      // which point of a column counts
    eProfileDirection direction;  // the direction columns are scanned in
    // grey-level thresholds 0..255 and area limits, each min <= max
    int threshMin, threshMax, areaMin, areaMax;
    eLaserOutputFormat subRes;     // output format
    const unsigned char *refData;  // width bytes of reference data, or null
  };

  OCamera() = default;
  // An object stands for one session on the camera: it is not copied.
  OCamera(const OCamera &) = delete;
  OCamera &operator=(const OCamera &) = delete;

  // A camera object for the factory-default address (port 80), or null.
  static OCamera *CreateCameraInterface(eCameraType type);

  // Unless said otherwise, an operation sends one request and returns the
  // camera's status: 0 for success, a negative code of <ocamera/status.h>
  // for a refusal (statusText gives the words), or -1 when the request failed.
  // Ranges named "(ocamsim: ...)" are those the simulated camera accepts; a
  // camera checks every value itself and answers -15 for one it refuses.

  // ---- session and frame buffers
  // Slot 0. Ends the calls in flight (see "Thread safety" above), sends the
  // destroy request, closes the session and frees the object. Returns the
  // destroy request's status, or -1 when it failed. Should calls of other
  // threads still be running after the wait (the machine stalled), destroy
  // returns -1 at once and leaves the object and its session as they are.
  virtual int destroy() = 0;
  // Opens the camera for acquisition with maxBuffers frame buffers (ocamsim:
  // 1..1024) of frameBufferSize bytes each (the window's width x height for
  // raw frames). -14 when another session has it open.
  virtual int open(int frameBufferSize, int maxBuffers) = 0;
  // Closes what open opened; -13 when it is not open.
  virtual int close() = 0;

  // ---- images
  // Delivers the next image into memory the library allocates (give it back
  // with freeImage). Only in acquisition modes 2, 3, 4 and 8; otherwise -1 and
  // nothing is sent. When the camera sends no image but a non-zero status (its
  // read time-out passed, the session is gone) that status is returned and
  // stored in image->status, data null and size 0. An empty image with status
  // 0 gives data null, size 0 and result 0.
  virtual int getSingleImage(Image *image) = 0;
  // Frees image->data (from getSingleImage) and sets it to null, whatever the
  // acquisition mode is now; "grab, stop acquisition, free" frees the image.
  // The result is still the image gate's: 0 in acquisition modes 2, 3, 4 and
  // 8, -1 in every other mode (and for a null image). Sends nothing.
  virtual int freeImage(Image *image) = 0;
  // The number of frame buffers the camera was opened with (a count >= 0), or
  // a status < 0 (-13 when not open).
  virtual int getMaxImageCount() = 0;
  // Frames waiting in the camera's buffers (a count >= 0); 0 also when the
  // request failed.
  virtual int getImageCount() = 0;

  // ---- acquisition and triggering
  // Accepts 1 (stop), 2 (single shot), 3 (free run), 4 (select shot) and 8
  // (free run slave); anything else returns -1 without traffic. The mode that
  // reached the camera gates the image operations.
  virtual int setAcquisitionMode(eAcqMode mode) = 0;
  // Where triggers come from (software or input E0/E1) and their active edge.
  virtual int setTriggerSource(eTrigSource source, eTrigPolarity polarity) = 0;
  // ---- illumination
  // The illumination output's mode: off, on, or pulsed with each exposure.
  virtual int setIlluminationMode(eIllMode mode) = 0;
  // The external illumination output: off, or on with positive or negative
  // polarity.
  virtual int setIlluminationModeExternal(eIllModeExt mode) = 0;
  // Pulsed illumination: delay from the exposure's start and pulse length, in
  // microseconds (ocamsim: each >= 0).
  virtual int setIlluminationTiming(int delay, int period) = 0;
  // Switches the illumination on or off now.
  virtual int switchIllumination(bool on) = 0;

  // ---- exposure and window
  // Exposure time in microseconds (ocamsim: 1..1000000, 10000 at start).
  virtual int setShutterTime(int shutter) = 0;
  // The exposure time in microseconds (>= 0), or a status < 0.
  virtual int getShutterTime() = 0;
  // Region of the sensor delivered, in pixels from the top-left corner; it
  // must lie inside the sensor (width and height at least 1). Every image is
  // then width x height bytes.
  virtual int setCameraWindow(int x0, int y0, int width, int height) = 0;
  // Frames per second in the free-running modes, above 0 and at most 1000
  // (ocamsim; 30 at start). The int form sends the same request rounded.
  virtual int setFrameRate(float fps) = 0;
  // As setFrameRate(float), in whole frames per second.
  virtual int setFrameRate(int fps) = 0;
  // Delay from a trigger to its picture in microseconds (ocamsim:
  // 0..10000000).
  virtual int setTriggerDelay(int delay) = 0;
  // Analog gain factor (ocamsim: 1..32, 1 at start).
  virtual int setGain(int factor) = 0;
  // Sets the sensor's colour processing to its power-on state.
  virtual int initColor() = 0;
  // How long getSingleImage waits for a frame in milliseconds (>= 0; 1000 at
  // start); when it passes the camera answers -21 without an image.
  virtual int setReadTimeout(int timeout) = 0;
  virtual int reserved1() = 0;  // always 0, sends nothing
  // Whether a full set of frame buffers overwrites the oldest frame (true) or
  // drops the new one.
  virtual int setCircularOverwrite(bool overwrite) = 0;
  // JPEG compression in the camera: on/off, quality, byte stuffing, the
  // sensor's Bayer layout and whether to compress as grey.
  virtual int setJPEG(bool enable, eJPEGQuality quality, bool byteStuffEnable,
                      OCameraTools::eBayerPattern pattern, bool forceGreyscale) = 0;
  // The sensor's pixel clock: 20, 40, 50 or 60 MHz.
  virtual int setFrequency(eFrequency frequency) = 0;
  // Delivers the next image straight into the buffer image->data points to,
  // which must hold the whole image: the window set last through this object
  // (width x height bytes), or before any window the frameBufferSize given to
  // open. An image larger than that fails with -1 and nothing is written past
  // it, whatever the camera announces; an object that knows neither trusts
  // the size the camera announces. An image longer than announced fails with
  // -1 (the buffer's content is then unspecified). No image with a non-zero
  // status returns that status and stores it in image->status; an empty image
  // with status 0 returns -1 and leaves the record untouched. grabImage takes
  // the buffer's size and tells these cases apart.
  virtual int getSingleImageInto(Image *image) = 0;

  // ---- image RAM (byte addresses and lengths; -18 while disabled, -17 for a
  // range outside the RAM)
  // Reads length bytes of image RAM; copies them only when the camera's
  // status is 0. A refusal without data returns the camera's status; -1 when
  // the request failed or the reply's data is not exactly length bytes.
  virtual int readImageRAM(void *destination, unsigned address, unsigned length) = 0;
  // Writes length bytes from data at address.
  virtual int writeImageRAM(const void *data, unsigned address, unsigned length) = 0;
  // Reads reduced data of at most length bytes; *returnedLength receives the
  // number of bytes copied (0 on any failure). A reply longer than length is
  // refused with -1 and nothing is copied.
  virtual int readImageRAMReducedData(void *destination, unsigned address, unsigned length,
                                      int *returnedLength) = 0;
  // Copies srcLength bytes at srcAddress to destAddress (destLength must be at
  // least srcLength).
  virtual int imageRAMToImageRAM(unsigned srcAddress, unsigned srcLength, unsigned destAddress,
                                 unsigned destLength) = 0;
  // Clears the image RAM and enables it; disableImageRAM disables it.
  virtual int initImageRAM() = 0;
  // Disables the image RAM (initImageRAM enables it again).
  virtual int disableImageRAM() = 0;
  // Stores the next image in the image RAM at address instead of delivering it.
  virtual int getImageToImageRAM(unsigned address) = 0;
  virtual int reserved2() = 0;  // always -1, sends nothing
  // Starts the frames' sequence numbers again at 0.
  virtual int resetSequenceCounter() = 0;
  // Drops every frame waiting in the camera's buffers.
  virtual int purgeImages() = 0;

  // ---- sensor
  // Calibrates the sensor, with up to two parameters (params may be null).
  virtual int calibrateSensor(const CalibrationParams *params) = 0;
  // Writes a sensor register by name (ocamsim: values 0..65535); -19 for a
  // name not in getSensorRegisterNames, -20 for a read-only register.
  virtual int setSensorRegister(const char *name, unsigned value) = 0;
  // On success *value receives the register's value; on failure it is not
  // written (-19 for an unknown name).
  virtual int getSensorRegister(const char *name, unsigned *value) = 0;
  // The camera's register names, ending in a null entry, or null when the
  // request failed. The object owns the list; it stays valid until the next
  // successful call of this operation or destroy.
  virtual const char *const *getSensorRegisterNames() = 0;
  // A software trigger (single-shot and select-shot modes; -16 in others).
  virtual int triggerImage() = 0;
  // Cancels a trigger whose picture has not been taken yet.
  virtual int triggerImageAbort() = 0;

  // ---- processing in the camera
  // Laser-line profiling in a region of the sensor: point priority, scan
  // direction, thresholds 0..255 (min <= max), area limits (min <= max),
  // output format, and width bytes of reference data or none. A setup with
  // enable false is taken as it is.
  virtual int setupLaserProfiling(LaserSetup setup) = 0;
  // Switches a hardware applet of the given input/output widths, with at
  // most maxSize bytes of output.
  virtual int setHardwareApplet(bool enable, unsigned maxSize, eAppletType applet) = 0;
  // The 3x3 median filter on or off.
  virtual int setMedian(bool enable) = 0;
  // An image filter with up to two parameters (params may be null); the
  // reserved kinds are refused.
  virtual int setFilter(eFilterType filter, const FilterParams *params) = 0;
  // Binarization with one or two thresholds 0..255 (the first at most the
  // second) and optional inversion; params may be null.
  virtual int setBinarization(bool enable, const BinarizationParams *params) = 0;
  // What the camera's Bayer stage outputs (raw, or one plane of H, S, V, I,
  // R, G, B) for a sensor of the given layout.
  virtual int setBayer2X(eBayer2XType output, OCameraTools::eBayerPattern pattern) = 0;
  // The camera's white-balance lookup table for the layout: 768 bytes (256
  // each for red, green, blue), or null to send no table.
  virtual int setWhiteBalance(OCameraTools::eBayerPattern pattern, const unsigned char *table) = 0;
  // The size in pixels of pictures stored in the image RAM (each >= 1).
  virtual int setImageRAMPictureSize(int width, int height) = 0;
  // A region of the sensor whose brightness triggers a picture: inside the
  // sensor, thresholds 0..255 with threshMin <= threshMax.
  virtual int setTriggerWindow(int x0, int y0, int width, int height, int threshMin,
                               int threshMax) = 0;
  // Image correction from size bytes of data at startAddress in the image
  // RAM, for `images` images: replace, AND mask or OR mask.
  virtual int setupImageCorrection(bool enable, eCorrectionType type, unsigned startAddress,
                                   unsigned size, unsigned images) = 0;
  // Copies each image (raw or processed) into size bytes of image RAM at
  // destAddress as well; SPLIT_OFF ends it.
  virtual int setupImageSplitting(eSplitType type, unsigned destAddress, unsigned size) = 0;

  // What one image request of grabImage came to.
  enum eGrabResult : int {
    GRAB_IMAGE = 0,      // an image: image->size bytes (at most capacity) at buffer
    GRAB_TIMEOUT = 1,    // no image within the camera's read time-out (status -21)
    GRAB_EMPTY = 2,      // the camera answered an empty image with status 0
    GRAB_TOO_LARGE = 3,  // the image is larger than capacity: nothing was written,
                         // image->size holds the image's size
    GRAB_REFUSED = 4,    // no image, with another status of the camera (in image->status:
                         // -10 the session is gone, -22 the acquisition is stopped, ...)
    GRAB_FAILED = 5,     // the request failed (no answer, an unreadable reply, more data
                         // than the reply announced), or the acquisition mode delivers no
                         // images (then nothing is sent)
  };
  // Delivers the next image into buffer, which holds capacity bytes; nothing
  // is ever written past them, whatever the camera sends. With GRAB_IMAGE the
  // record holds the image's data (= buffer), size, sequence number, time
  // stamp and status; with GRAB_TIMEOUT and GRAB_REFUSED only image->status is
  // written; with GRAB_TOO_LARGE only image->size; otherwise nothing. After
  // GRAB_FAILED the buffer's content is unspecified. A null buffer or image is
  // GRAB_FAILED without traffic.
  virtual eGrabResult grabImage(unsigned char *buffer, std::size_t capacity, Image *image) = 0;

 protected:
  ~OCamera() = default;  // end an object with destroy()
};

// Connects to the camera at address (a host, "host:port", or "http://host:port"),
// opens a session on its camera device and creates the camera for the sensor
// type. Returns null on failure, after one line on standard error or to the
// log handler; a null or empty address returns null as well. Nothing is thrown.
OCAMERA_API OCamera *CreateCameraInterface(OCamera::eCameraType type, const char *address);
