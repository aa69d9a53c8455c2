#!/usr/bin/env python3
"""Turns a controller knob and speaks OSC to the instrument as a performer's
rig would, and measures what comes out of its JACK audio ports.

usage: learn_rig.py sweep CONTROLLER           the learned knob at 0, 64, 127
       learn_rig.py recall CONTROLLER          the knob after a restart
       learn_rig.py osc PORT                   OSC: pitch, master volume, a note, a query, malformed messages

The cloud plays a 2000 Hz sine; its Pitch runs from 0.1 to 5 along a linear
curve, so the knob at v puts the sound at 2000 * (0.1 + 4.9 * v / 127) Hz.
Prints one line per step; exits 1 at the first step that does not hold.
"""
import socket
import subprocess
import sys
import time

import numpy

from jack_player import Rig, analyse, expect_pitch, fail

SINE_HZ = 2000.0
MIN_PITCH, MAX_PITCH = 0.1, 5.0
CHANNEL = 0


def knob_hz(value):
    return SINE_HZ * (MIN_PITCH + (MAX_PITCH - MIN_PITCH) * value / 127.0)


def turn(rig, controller, value):
    rig.send(0xB0 | CHANNEL, controller, value)


def sweep(rig, controller):
    for value in (0, 64, 127):
        turn(rig, controller, value)
        expect_pitch(rig, "knob at %d" % value, knob_hz(value), idempotent=True)
    # A sweep in single steps, as a knob turned by hand sends it.
    for value in range(127, -1, -1):
        with rig.lock:
            rig.outgoing.append(bytes([0xB0 | CHANNEL, controller, value]))
        time.sleep(0.004)
    # The grains started during the sweep play out at their pitches first.
    time.sleep(1.5)
    # Only the last step is sent again if unheard: the knob comes to rest at 0.
    with rig.lock:
        rig.step_messages = [bytes([0xB0 | CHANNEL, controller, 0])]
    expect_pitch(rig, "knob swept back to 0", knob_hz(0), idempotent=True)


def recall(rig, controller):
    # The scene was saved with the knob at 0: each value moves the pitch.
    for value in (64, 127, 0):
        turn(rig, controller, value)
        expect_pitch(rig, "after the restart, knob at %d" % value, knob_hz(value), idempotent=True)


def osc(port, *args):
    subprocess.run(["oscsend", "localhost", str(port)] + [str(a) for a in args], check=True, timeout=10)
    time.sleep(0.6)


def rms(rig):
    return analyse(rig.record())[2]


def osc_steps(rig, port):
    osc(port, "/source/0/pitch", "f", 2.0)
    expect_pitch(rig, "OSC pitch 2", 2 * SINE_HZ)
    # A cloud's own level wanders by a few dB from one recording to the
    # next: the master volume goes back and forth and the levels are averaged.
    osc(port, "/master/volume/on", "f", 1)
    levels = {0: [], -12: []}
    for _ in range(3):
        for db in (0, -12):
            osc(port, "/master/volume/volume", "f", db)
            levels[db].append(rms(rig))
    drop = 20 * numpy.log10(numpy.mean(levels[-12]) / numpy.mean(levels[0]))
    print("OSC master volume 0 / -12 dB: RMS %s / %s (%.1f dB)" % (levels[0], levels[-12], drop), flush=True)
    if not -18.0 < drop < -7.0:
        fail("the master volume did not take the level down by 12 dB")
    osc(port, "/master/volume/mute", "f", 1)
    muted = rms(rig)
    print("OSC master mute: RMS %.6f" % muted, flush=True)
    if muted > 1e-4:
        fail("the master mute left sound")
    osc(port, "/master/volume/mute", "f", 0)
    # Floats, as TouchOSC and Open Stage Control send a note.
    osc(port, "/source/0/note", "ff", 84, 127)
    expect_pitch(rig, "OSC note 84 over pitch 2", 4 * SINE_HZ, silenced=2 * SINE_HZ)
    osc(port, "/source/0/note", "ii", 84, 0)
    expect_pitch(rig, "OSC note 84 off", 2 * SINE_HZ, silenced=4 * SINE_HZ)
    # Malformed: a word for a number, an unknown address, a source that is
    # not there, and bytes that are no OSC at all. Nothing changes.
    osc(port, "/source/0/pitch", "s", "high")
    osc(port, "/source/0/wobble", "f", 3)
    osc(port, "/source/7/pitch", "f", 3)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(b"/source/0/pitch\x00,f\x00\x00\x40", ("127.0.0.1", port))
    time.sleep(0.6)
    expect_pitch(rig, "after malformed messages", 2 * SINE_HZ)
    query_steps(port)


def ask(port, packet):
    """One packet from a socket of its own; the reply to that socket."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(3)
        s.sendto(packet, ("127.0.0.1", port))
        try:
            return s.recv(1024)
        except socket.timeout:
            fail("no reply to %r" % packet)


def query_steps(port):
    # The address alone (no type tag: an empty list) asks for the value.
    reply = ask(port, b"/source/0/pitch\x00,\x00\x00\x00")
    expected = b"/source/0/pitch\x00,f\x00\x00" + numpy.array([2.0], ">f4").tobytes()
    print("OSC query /source/0/pitch: %r" % reply, flush=True)
    if reply != expected:
        fail("the pitch query was not answered with 2.0")
    reply = ask(port, b"/source/0/wobble\x00\x00\x00\x00,f\x00\x00\x40\x40\x00\x00")
    print("OSC fault: %r" % reply, flush=True)
    if not reply.startswith(b"/error\x00\x00,s\x00\x00") or b"wobble" not in reply:
        fail("a fault was not answered with /error")


def main():
    mode, number = sys.argv[1], int(sys.argv[2])
    rig = Rig()
    rig.connect()
    time.sleep(0.6)
    if mode == "sweep":
        sweep(rig, number)
    elif mode == "recall":
        recall(rig, number)
    else:
        osc_steps(rig, number)
    rig.client.deactivate()
    rig.client.close()


if __name__ == "__main__":
    main()
