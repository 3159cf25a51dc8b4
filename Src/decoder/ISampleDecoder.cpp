#include "decoder/ISampleDecoder.h"

/* The shared do-nothing bodies: no effect, result 0. */

LONG ISampleDecoder::GetSoundInData(LONG, LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::CaptureBmpFile(std::string) { return 0; }
LONG ISampleDecoder::ChangeStreamFormat(LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::ReservedA(LONG) { return 0; }
LONG ISampleDecoder::UpdateBounds() { return 0; }
LONG ISampleDecoder::ReservedB(LONG) { return 0; }
LONG ISampleDecoder::CheckTransition(LONG, LONG) { return 0; }
LONG ISampleDecoder::ShutDown() { return 0; }
LONG ISampleDecoder::InsertBuf(const BYTE *, LONG, LONG, LONG, LONG, LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::InsertAudioBuf(const BYTE *, LONG, LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::Stop() { return 0; }
LONG ISampleDecoder::Start() { return 0; }
LONG ISampleDecoder::InitPlay(HWND, LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::ReservedC(LONG) { return 0; }
LONG ISampleDecoder::GetDecoderKind() { return 0; }
LONG ISampleDecoder::DigitalZoom(LONG, LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::SetPlaySpeed(LONG) { return 0; }
LONG ISampleDecoder::StartAudio() { return 0; }
LONG ISampleDecoder::ShutDownAudio() { return 0; }
LONG ISampleDecoder::SetAudioVolume(LONG) { return 0; }
LONG ISampleDecoder::GetAudioVolume(LONG *) { return 0; }
LONG ISampleDecoder::SetVideoSize(LONG, LONG) { return 0; }
LONG ISampleDecoder::GetImagePara(LONG *, LONG *) { return 0; }
LONG ISampleDecoder::GetTotalFrames() { return 0; }
LONG ISampleDecoder::ReservedD() { return 0; }
LONG ISampleDecoder::SetDecParam(LONG, LONG, LONG, LONG, LONG, LONG, LONG) { return 0; }
LONG ISampleDecoder::NotifySeek(LONG, LONG) { return 0; }
LONG ISampleDecoder::SetSpeed(LONG) { return 0; }
LONG ISampleDecoder::SetDisplayMode(LONG) { return 0; }
