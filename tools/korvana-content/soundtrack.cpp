// Synthesis of the default soundtrack. 120 beats a minute (a bar is 2 s); every section starts its
// own bar grid at its scene change, so each change lands on a downbeat with a crash. Notes are
// rendered one by one into instrument buses, then mixed, limited and quantised.
#include "soundtrack.h"

#include <algorithm>
#include <cmath>

#include <lame/lame.h>

#include "detmath.h"

namespace korvana::content {

namespace {

constexpr double kBeat = 0.5;
constexpr double kBar = 4 * kBeat;
constexpr double kStep = kBeat / 4;  // a sixteenth

struct Bus {
    std::vector<float> left, right;
    explicit Bus(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
};

size_t frameAt(double seconds) { return static_cast<size_t>(seconds * kSampleRate); }

// Band-limited sawtooth step correction (polyBLEP) for phase t in [0, 1) advancing by dt.
double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double saw(double phase, double dt) { return 2.0 * phase - 1.0 - polyBlep(phase, dt); }

double square(double phase, double dt) {
    double s = phase < 0.5 ? 1.0 : -1.0;
    s += polyBlep(phase, dt);
    double p2 = phase + 0.5;
    if (p2 >= 1.0) p2 -= 1.0;
    s -= polyBlep(p2, dt);
    return s;
}

// Chamberlin state-variable low-pass; cutoff in Hz, q the damping (lower rings more).
// The cutoff is set apart from running because its sine costs more than the filter itself; the
// notes move it every 32 samples, well below what one can hear as steps.
struct Svf {
    double low = 0, band = 0, f = 0.1;
    void setCutoff(double cutoff) { f = 2.0 * detSin(kPi * std::min(cutoff, 11000.0) / kSampleRate); }
    double run(double in, double q) {
        low += f * band;
        double high = in - low - q * band;
        band += f * high;
        return low;
    }
};

// Per-sample factor of an amplitude that falls by a factor e `rate` times a second.
double decayPerSample(double rate) { return detExp(-rate / kSampleRate); }

class Synth {
public:
    explicit Synth(size_t frames) : drums(frames), bass(frames), pads(frames), lead(frames), fx(frames), noise_(0x50C7A) {}

    Bus drums, bass, pads, lead, fx;

    void kick(double t, double level) {
        size_t start = frameAt(t), len = frameAt(0.7);
        double phase = 0, amp = level, click = level;
        const double ampDecay = decayPerSample(7.5), clickDecay = decayPerSample(400);
        for (size_t i = 0; i < len && start + i < drums.left.size(); ++i) {
            double s = static_cast<double>(i) / kSampleRate;
            double hz = 46.0 + 120.0 * detExp(-s * 32.0);
            phase += hz / kSampleRate;
            if (phase >= 1.0) phase -= 1.0;
            double v = amp * detSin(kTwoPi * phase) + click * noise_.signedUniform() * 0.4;
            amp *= ampDecay;
            click *= clickDecay;
            add(drums, start + i, v, 0.0);
        }
    }

    void snare(double t, double level, double pan) {
        size_t start = frameAt(t), len = frameAt(0.3);
        double amp = level, tone = level, prev = 0, phase = 0;
        const double ampDecay = decayPerSample(16), toneDecay = decayPerSample(30);
        for (size_t i = 0; i < len && start + i < drums.left.size(); ++i) {
            double n = noise_.signedUniform();
            double hp = n - prev;  // crude high-pass for a crisp rattle
            prev = n;
            phase += 185.0 / kSampleRate;
            if (phase >= 1.0) phase -= 1.0;
            double v = amp * (0.55 * hp + 0.35 * n) + tone * 0.5 * detSin(kTwoPi * phase);
            amp *= ampDecay;
            tone *= toneDecay;
            add(drums, start + i, v, pan);
        }
    }

    void hat(double t, double level, bool open, double pan) {
        size_t start = frameAt(t), len = frameAt(open ? 0.5 : 0.08);
        double amp = level, prev = 0, prev2 = 0;
        const double d = decayPerSample(open ? 9 : 70);
        for (size_t i = 0; i < len && start + i < drums.left.size(); ++i) {
            double n = noise_.signedUniform();
            double hp = n - 2 * prev + prev2;  // second difference: only the hiss is left
            prev2 = prev;
            prev = n;
            add(drums, start + i, amp * 0.3 * hp, pan);
            amp *= d;
        }
    }

    void crash(double t, double level) {
        size_t start = frameAt(t), len = frameAt(2.2);
        double amp = level, prevL = 0, prevR = 0;
        const double d = decayPerSample(2.2);
        for (size_t i = 0; i < len && start + i < fx.left.size(); ++i) {
            double nl = noise_.signedUniform(), nr = noise_.signedUniform();
            fx.left[start + i] += static_cast<float>(amp * 0.35 * (nl - prevL));
            fx.right[start + i] += static_cast<float>(amp * 0.35 * (nr - prevR));
            prevL = nl;
            prevR = nr;
            amp *= d;
        }
    }

    // Noise that swells and brightens over `length` seconds into a section change.
    void riser(double t, double length, double level) {
        size_t start = frameAt(t), len = frameAt(length);
        Svf fl, fr;
        for (size_t i = 0; i < len && start + i < fx.left.size(); ++i) {
            double x = static_cast<double>(i) / len;
            if (i % 32 == 0) {
                fl.setCutoff(300.0 + 7000.0 * x * x);
                fr.f = fl.f;
            }
            double a = level * x * x;
            fx.left[start + i] += static_cast<float>(a * fl.run(noise_.signedUniform(), 0.6));
            fx.right[start + i] += static_cast<float>(a * fr.run(noise_.signedUniform(), 0.6));
        }
    }

    // A bass note: saw through a resonant low-pass whose cutoff falls after the attack.
    void bassNote(double t, double dur, double note, double level, double cutoff, double reso) {
        size_t start = frameAt(t), len = frameAt(dur + 0.03);
        const double hz = noteHz(note), dt = hz / kSampleRate;
        double phase = 0, env = 0;
        Svf f;
        const double envDecay = decayPerSample(6.0);
        double filterEnv = 1.0;
        const double filterDecay = decayPerSample(14.0);
        for (size_t i = 0; i < len && start + i < bass.left.size(); ++i) {
            double s = static_cast<double>(i) / kSampleRate;
            env = s < 0.004 ? s / 0.004 : env * envDecay;
            if (s > dur) env *= 0.995;  // short release, no click
            double osc = 0.6 * saw(phase, dt) + 0.4 * square(phase, dt);
            phase += dt;
            if (phase >= 1.0) phase -= 1.0;
            if (i % 32 == 0) f.setCutoff(cutoff * (0.35 + 1.2 * filterEnv));
            double v = f.run(osc, reso);
            filterEnv *= filterDecay;
            add(bass, start + i, level * env * v, 0.0);
        }
    }

    // A pad chord: two detuned saws per note, spread left and right, slow attack and release.
    void padChord(double t, double dur, const int* notes, int count, double level, double cutoff) {
        const double attack = 0.6, release = 1.2;
        size_t start = frameAt(t), len = frameAt(dur + release);
        for (int n = 0; n < count; ++n) {
            for (int side = 0; side < 2; ++side) {
                double hz = noteHz(notes[n] + (side == 0 ? -0.09 : 0.08));
                double dt = hz / kSampleRate, phase = 0.37 * n + 0.5 * side;
                Svf f;
                f.setCutoff(cutoff);
                double pan = side == 0 ? -0.7 : 0.7;
                for (size_t i = 0; i < len && start + i < pads.left.size(); ++i) {
                    double s = static_cast<double>(i) / kSampleRate;
                    double env = s < attack ? s / attack : 1.0;
                    if (s > dur) env *= std::max(0.0, 1.0 - (s - dur) / release);
                    double v = f.run(saw(phase, dt), 1.0);
                    phase += dt;
                    if (phase >= 1.0) phase -= 1.0;
                    add(pads, start + i, level * env * v / count, pan);
                }
            }
        }
    }

    // A plucked arpeggio note (pulse wave with a quick decay).
    void pluck(double t, double note, double level, double pan, double brightness) {
        size_t start = frameAt(t), len = frameAt(0.5);
        const double hz = noteHz(note), dt = hz / kSampleRate;
        double phase = 0, env = level;
        const double d = decayPerSample(11.0);
        Svf f;
        for (size_t i = 0; i < len && start + i < lead.left.size(); ++i) {
            double s = static_cast<double>(i) / kSampleRate;
            double osc = 0.7 * square(phase, dt) + 0.3 * detSin(kTwoPi * phase * 2.0);
            phase += dt;
            if (phase >= 1.0) phase -= 1.0;
            if (i % 32 == 0) f.setCutoff(brightness * (0.4 + 0.6 * detExp(-s * 10.0)));
            double v = f.run(osc, 0.8);
            add(lead, start + i, env * v * (s < 0.002 ? s / 0.002 : 1.0), pan);
            env *= d;
        }
    }

private:
    static void add(Bus& bus, size_t at, double v, double pan) {
        if (at >= bus.left.size()) return;
        bus.left[at] += static_cast<float>(v * (1.0 - std::max(0.0, pan)));
        bus.right[at] += static_cast<float>(v * (1.0 + std::min(0.0, pan)));
    }

    Rng noise_;
};

// Chords as MIDI notes (three voices) and their bass roots.
struct Chord {
    int root;
    int notes[3];
};

constexpr Chord kAm{45, {57, 60, 64}}, kF{41, {57, 60, 65}}, kC{48, {55, 60, 64}}, kG{43, {55, 59, 62}};
constexpr Chord kDm{38, {57, 62, 65}}, kE{40, {56, 59, 64}}, kBb{46, {58, 62, 65}};

constexpr Chord kVerse[4] = {kAm, kF, kC, kG};
constexpr Chord kDark[4] = {kDm, kAm, kBb, kE};
constexpr Chord kPipe[4] = {kAm, kAm, kF, kE};

// One section of the arrangement: which parts play and how hard.
struct Section {
    double start, end;
    const Chord* chords;
    // Bars (from the section's start) from which each part plays; a big number keeps it out.
    int kickFrom, clapFrom, hatFrom, bassFrom, arpFrom;
    bool halfTime, sixteenthHats, acidBass, snareRoll;
    double padLevel, arpLevel, bassCutoff;
};

}  // namespace

std::vector<int16_t> synthesizeTrack() {
    const size_t frames = frameAt(kTrackSeconds);
    Synth synth(frames);
    constexpr int no = 1000;
    const Section sections[] = {
        // tube: pads and arpeggio, hats from bar 4, kick and bass from bar 8, a riser into 30 s
        {0, 30, kVerse, 8, no, 4, 8, 2, false, false, false, false, 0.55, 0.25, 900},
        // tube box: the full beat
        {30, 50, kVerse, 0, 0, 0, 0, 0, false, false, false, false, 0.4, 0.3, 1400},
        // pipe: half time, darker, a snare roll into the next scene
        {50, 67, kPipe, 0, 0, 0, 0, 1, true, true, false, true, 0.45, 0.3, 700},
        // cylinder: fast and driving, an acid bass line
        {67, 95, kDark, 0, 0, 0, 0, 4, false, true, true, false, 0.25, 0.25, 1000},
        // tube with trails: a breakdown that builds up again
        {95, 115, kVerse, 6, no, 4, 6, 0, false, false, false, true, 0.7, 0.35, 800},
        // boxes: everything, then the end
        {115, kTrackSeconds, kDark, 0, 0, 0, 0, 0, false, true, false, false, 0.4, 0.35, 1300},
    };

    Rng rng(0x50C7B);
    for (const Section& sec : sections) {
        if (sec.start > 0) synth.crash(sec.start, 0.7);
        const int bars = static_cast<int>(std::ceil((sec.end - sec.start) / kBar - 1e-9));
        // In the final section the drums drop out 12 s before the end and the notes stop 6 s
        // before it; the last pad chord dies away over its release.
        const double musicEnd = sec.end == kTrackSeconds ? kTrackSeconds - 6 : sec.end;
        for (int bar = 0; bar < bars; ++bar) {
            const double t0 = sec.start + bar * kBar;
            const Chord& chord = sec.chords[bar % 4];
            const double barEnd = std::min(t0 + kBar, sec.end);
            const bool drumsOut = sec.end == kTrackSeconds && t0 >= kTrackSeconds - 12;
            if (t0 < musicEnd)
                synth.padChord(t0, std::min(kBar, musicEnd - t0), chord.notes, 3, sec.padLevel, 1500 + 300 * (bar % 2));

            for (int step = 0; step < 16; ++step) {
                const double t = t0 + step * kStep;
                if (t >= barEnd - 1e-9 || t >= musicEnd) break;
                const bool rollTime = sec.snareRoll && t >= sec.end - kBar;
                // Drums.
                if (bar >= sec.kickFrom && !drumsOut) {
                    bool hit = sec.halfTime ? (step == 0 || step == 10) : step % 4 == 0;
                    if (hit && !(rollTime && step >= 8)) synth.kick(t, 0.95);
                }
                if (bar >= sec.clapFrom && !drumsOut && !rollTime) {
                    bool hit = sec.halfTime ? step == 8 : (step == 4 || step == 12);
                    if (hit) synth.snare(t, 0.55, 0.1);
                }
                if (rollTime && !drumsOut) {
                    // Sixteenths over the last bar, louder towards the change.
                    double x = (t - (sec.end - kBar)) / kBar;
                    if (x >= 0) synth.snare(t, 0.2 + 0.45 * x, -0.1);
                }
                if (bar >= sec.hatFrom && !drumsOut) {
                    if (sec.sixteenthHats) synth.hat(t, step % 2 == 0 ? 0.35 : 0.2 + 0.1 * rng.uniform(), false, 0.35);
                    else if (step % 2 == 0) synth.hat(t, step % 4 == 2 ? 0.45 : 0.22, false, 0.35);
                    if (!sec.halfTime && step % 4 == 2 && bar >= sec.kickFrom) synth.hat(t, 0.18, true, -0.3);
                }
                // Bass.
                if (bar >= sec.bassFrom) {
                    if (sec.acidBass) {
                        static const int line[16] = {0, 12, 0, 0, 7, 0, 12, 3, 0, 0, 10, 0, 7, 12, 0, 5};
                        double sweep = 0.5 - 0.5 * detCos(kTwoPi * (t - sec.start) / (8 * kBar));
                        synth.bassNote(t, kStep * 0.8, chord.root + line[step], 0.45,
                                       sec.bassCutoff * (0.5 + 2.5 * sweep), 0.25);
                    } else if (sec.halfTime) {
                        if (step == 0 || step == 10) synth.bassNote(t, kStep * 5, chord.root, 0.55, sec.bassCutoff, 0.5);
                    } else if (step % 4 == 2 || (step % 4 == 3 && bar % 2 == 1)) {
                        synth.bassNote(t, kStep * 0.9, chord.root + (step == 14 ? 12 : 0), 0.5, sec.bassCutoff, 0.45);
                    }
                }
                // Arpeggio up and down the chord, an octave or two above it.
                if (bar >= sec.arpFrom) {
                    static const int order[8] = {0, 1, 2, 1, 0, 2, 1, 2};
                    int n = chord.notes[order[step % 8]] + (step >= 8 ? 12 : 0) + (sec.start >= 115 ? 12 : 0);
                    if (step % 2 == 0 || sec.start >= 67)
                        synth.pluck(t, n, sec.arpLevel, step % 2 == 0 ? -0.45 : 0.45, 2500 + 1500 * (bar % 4) / 3.0);
                }
            }
        }
        // A riser into the sections that come in hard.
        if (sec.end == 30 || sec.end == 115) synth.riser(sec.end - 2 * kBar, 2 * kBar, 0.5);
    }

    // Mix: a ping-pong echo on the arpeggio, the pads ducked under each kick, a soft limiter.
    const size_t echo = frameAt(3 * kStep);
    std::vector<float> echoL(frames, 0.0f), echoR(frames, 0.0f);
    for (size_t i = 0; i < frames; ++i) {
        float inL = synth.lead.left[i], inR = synth.lead.right[i];
        if (i >= echo) {
            echoL[i] = 0.45f * (inR + echoR[i - echo]);
            echoR[i] = 0.45f * (inL + echoL[i - echo]);
        }
    }
    // Kick energy, smoothed, for the ducking.
    double duck = 0;
    const double duckRelease = decayPerSample(5.0);
    std::vector<int16_t> out(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        double k = std::fabs(synth.drums.left[i] + synth.drums.right[i]) * 0.5;
        duck = std::max(duck * duckRelease, std::min(1.0, k));
        double padGain = 1.0 - 0.5 * duck;
        double l = synth.drums.left[i] * 0.9 + synth.bass.left[i] * 0.8 + synth.pads.left[i] * padGain * 0.5 +
                   (synth.lead.left[i] + echoL[i]) * 0.5 + synth.fx.left[i] * 0.6;
        double r = synth.drums.right[i] * 0.9 + synth.bass.right[i] * 0.8 + synth.pads.right[i] * padGain * 0.5 +
                   (synth.lead.right[i] + echoR[i]) * 0.5 + synth.fx.right[i] * 0.6;
        // Fade the very end so the track stops cleanly.
        double t = static_cast<double>(i) / kSampleRate;
        double fade = clamp01((kTrackSeconds - t) / 4.0);
        l *= 0.85 * fade;
        r *= 0.85 * fade;
        // tanh-like soft clip keeps peaks under full scale without harsh edges.
        auto soft = [](double x) {
            x = std::max(-3.0, std::min(3.0, x));
            return x * (27.0 + x * x) / (27.0 + 9.0 * x * x);
        };
        out[2 * i] = static_cast<int16_t>(std::lround(soft(l) * 32000.0));
        out[2 * i + 1] = static_cast<int16_t>(std::lround(soft(r) * 32000.0));
    }
    return out;
}

std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& stereo, int kbps, std::string& error) {
    std::vector<uint8_t> out;
    lame_global_flags* gf = lame_init();
    if (gf == nullptr) {
        error = "LAME could not be initialised";
        return out;
    }
    lame_set_in_samplerate(gf, kSampleRate);
    lame_set_out_samplerate(gf, kSampleRate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, kbps);
    // Quality 7 is LAME's fast setting; the encode is most of the generator's time.
    lame_set_quality(gf, 7);
    lame_set_bWriteVbrTag(gf, 1);
    if (lame_init_params(gf) < 0) {
        error = "LAME refused the encoder settings";
        lame_close(gf);
        return out;
    }
    const int frames = static_cast<int>(stereo.size() / 2);
    const int chunk = 8192;
    std::vector<uint8_t> buffer(static_cast<size_t>(1.25 * chunk + 7200));
    for (int at = 0; at < frames; at += chunk) {
        int n = std::min(chunk, frames - at);
        // LAME takes a non-const pointer but does not write through it.
        int got = lame_encode_buffer_interleaved(gf, const_cast<short*>(&stereo[2 * static_cast<size_t>(at)]), n,
                                                 buffer.data(), static_cast<int>(buffer.size()));
        if (got < 0) {
            error = "LAME failed while encoding (" + std::to_string(got) + ")";
            lame_close(gf);
            return {};
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    int got = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
    if (got < 0) {
        error = "LAME failed while flushing";
        lame_close(gf);
        return {};
    }
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    // The first frame was a placeholder for the Info tag (length, encoder delay, padding for
    // gapless playback); fill it in now that the stream is complete.
    std::vector<uint8_t> tag(4096);
    size_t tagSize = lame_get_lametag_frame(gf, tag.data(), tag.size());
    if (tagSize > 0 && tagSize <= out.size()) std::copy(tag.begin(), tag.begin() + tagSize, out.begin());
    lame_close(gf);
    return out;
}

}  // namespace korvana::content
