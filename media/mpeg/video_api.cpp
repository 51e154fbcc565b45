// Process-wide decoder instance behind the program's entry points. Not thread-safe: the
// program drives one stream from one thread.
#include "media/mpeg/video_api.h"

mpeg::MpegDecoder& videoDecoder() {
    static mpeg::MpegDecoder decoder;
    return decoder;
}

int openVideo(const char* path) {
    return videoDecoder().open(path);
}
int openVideo(const char* path, const char* enhancementPath) {
    return videoDecoder().open(path, enhancementPath);
}
void setOutput(uint32_t* buffer, int enable) {
    videoDecoder().setOutput(buffer, enable != 0);
}
int decodeNextPicture() {
    return videoDecoder().decodeNextPicture();
}
void closeVideo() {
    videoDecoder().close();
}
int videoWidth() {
    return videoDecoder().videoWidth();
}
int videoHeight() {
    return videoDecoder().videoHeight();
}
const char* videoErrorText() {
    return videoDecoder().errorText().c_str();
}
