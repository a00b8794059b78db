"""Buffer chains: buffers in turn, zero copies, missed frames, clean release."""
from __future__ import annotations

import time

import numpy as np
import pytest
from conftest import fire_until_frame, population
from test_snap import frame_number

from qor_bitflow import Board, BFTimeout, Trigger, simulator


def test_a_chain_of_four_fills_four_distinct_buffers_in_turn_without_copies():
    simulator.load(population({"framePeriodMs": 10}))  # no frame missed on a busy machine
    with Board() as board, board.chain(buffers=4) as chain:
        assert len(chain.buffers) == 4
        assert all(not np.shares_memory(a, b) for i, a in enumerate(chain.buffers) for b in chain.buffers[i + 1 :])
        chain.start()
        frames = []
        for _ in range(8):
            frame = chain.wait(timeout_ms=500)
            assert np.shares_memory(frame.array, chain.buffers[frame.index])
            assert frame_number(frame.array) == frame.number  # read before the ring comes round
            frames.append((frame.index, frame.number, frame.ended))
            assert not frame.array.flags.writeable
        kept = frame.copy()
        assert kept.flags.writeable and not np.shares_memory(kept, chain.buffers[frame.index])
    assert [(i % 4, i, 1) for i in range(8)] == frames


def test_missed_frames_are_counted_when_the_host_is_slow():
    simulator.load(population({"framePeriodMs": 5}))
    with Board() as board, board.chain(buffers=2) as chain:
        chain.start()
        first = chain.wait(timeout_ms=500)
        time.sleep(0.1)
        late = chain.wait(timeout_ms=500)
        chain.stop()
        assert late.ended > 2 and late.missed == late.ended - 1
        assert chain.missed == first.missed + late.missed
        assert chain.frames_ended == late.number + 1
        assert late.index == late.number % 2
        assert frame_number(late.array) == late.number


def test_restarting_a_chain_starts_again_at_buffer_zero():
    simulator.load(population({"framePeriodMs": 20}))  # no frame missed on a busy machine
    with Board() as board, board.chain(buffers=3) as chain:
        for _ in range(2):
            chain.start()
            first, second = chain.wait(500), chain.wait(500)
            chain.stop()
            assert [(f.index, f.number) for f in (first, second)] == [(0, 0), (1, 1)]


def test_iterating_starts_the_chain(fast_board):
    with Board() as board, board.chain(buffers=2) as chain:
        frames = [(frame.index, frame.number) for _, frame in zip(range(5), chain)]
        assert chain.running
    assert [index for index, _ in frames] == [number % 2 for _, number in frames]
    assert len({number for _, number in frames}) == 5


def test_leaving_the_block_by_an_exception_releases_everything(fast_board):
    with pytest.raises(KeyError):
        with Board() as board, board.chain(buffers=3) as chain:
            chain.start()
            chain.wait(500)
            raise KeyError("the host's own failure")
    assert simulator.live_objects().total == 0


def test_closing_the_board_releases_a_running_chain(fast_board):
    board = Board()
    chain = board.chain()
    chain.start()
    board.close()
    assert chain.closed and simulator.live_objects().total == 0


def test_a_wait_that_times_out_raises_bftimeout_and_leaves_the_chain_usable(fast_board):
    with Board() as board:
        board.trigger(Trigger.EXTERNAL)
        with board.chain(buffers=2) as chain:
            chain.start()
            with pytest.raises(BFTimeout) as raised:
                chain.wait(timeout_ms=10)
            assert (raised.value.function, raised.value.name) == ("BF_Wait", "BF_E_SIGNAL_WAIT")
            assert fire_until_frame(chain.wait).index == 0


def test_chain_refusals_before_any_call(fast_board):
    with Board() as board:
        board.snap()  # a registered snap destination stays registered too
        with simulator.journal() as calls:
            for wrong, error in [(0, ValueError), (-1, ValueError), (2.0, TypeError), (True, TypeError)]:
                with pytest.raises(error):
                    board.chain(buffers=wrong)
            for count, timeout, error in [(-1, 1, ValueError), (1, -1, ValueError), (1.0, 1, TypeError)]:
                with pytest.raises(error):
                    board.grab(count=count, timeout_ms=timeout)
        assert len(calls) == 0
        with board.chain(buffers=1) as chain:
            with pytest.raises(RuntimeError, match="start"):
                chain.wait()
            with pytest.raises(RuntimeError, match="chain runs"):
                board.chain()
            with pytest.raises(RuntimeError):
                board.snap()
            with pytest.raises(ValueError):
                chain.start() or chain.wait(timeout_ms=-1)


def test_a_frame_acts_as_its_array_and_carries_the_time_its_wait_returned(fast_board):
    with Board() as board, board.chain(buffers=2) as chain:
        chain.start()
        frames = []
        for _ in range(3):
            before = time.monotonic_ns()
            frame = chain.wait(500)
            frames.append(frame)
            assert before <= frame.captured_ns <= time.monotonic_ns()
        chain.stop()  # the buffers hold still while they are compared
        seen = np.asarray(frame)
        assert np.shares_memory(seen, chain.buffers[frame.index]) and not seen.flags.writeable
        assert (frame.shape, frame.dtype) == (board.shape, np.dtype(np.uint8))
        wide = np.asarray(frame, dtype=np.float32)
        assert wide.dtype == np.float32 and not np.shares_memory(wide, seen)
        assert wide[0, 8] == seen[0, 8]
        assert float(np.mean(frame)) == float(seen.mean())
    times = [f.captured_ns for f in frames]
    assert times == sorted(times) and frames[-1].captured == pytest.approx(times[-1] / 1e9)
