#!/usr/bin/env bash
# Plants one fault at a time in a scratch copy of the tree, rebuilds it incrementally and runs the
# test suite: a fault the suite notices is "killed", one it lets through "survived". A developer's
# measure of what the tests catch (not a CI step); run it before and after changing tests.
#
#   scripts/mutants.sh              every mutant
#   scripts/mutants.sh 3 17         only mutants 3 and 17
#   scripts/mutants.sh --check      only say whether each snippet still matches the code
#   MUTANT_REV=main~3 scripts/mutants.sh   the tree as committed there (the mutants as listed here)
#   MUTANT_IN_PLACE=1 scripts/mutants.sh   this working tree and its built BUILD_DIR (default build),
#                                          each file put back after its mutant (and on any exit)
#
# MUTANT_DIR (default /tmp/marvex-mutants) keeps the copy and its build between runs, so only the
# mutated file and what links it are rebuilt. JOBS (default 2) builds and tests in parallel.
# Each mutant names a file, a snippet that must occur exactly once in it, and its replacement:
# when the code moves, the mutant says "not applicable" instead of mutating something else.
set -euo pipefail
{ # read whole before running, so the script may be edited while it runs
cd "$(dirname "$0")/.."
root=$PWD
work=${MUTANT_DIR:-/tmp/marvex-mutants}
jobs=${JOBS:-2}

# @ file: what goes wrong
# - exact original snippet
# + replacement
read -r -d '' MUTANTS <<'EOF' || true
@ format/PropertyListFile.cpp: a file string holding a NUL byte is accepted, cut short
- if (text == nullptr || std::strlen(text) != length)
+ if (text == nullptr)
@ format/PropertyListFile.cpp: an empty container counts as nesting
- if (end[-1] == '/') continue;
+ if (end[-1] == '\0') continue;
@ format/CFBase.cpp: overlong three-byte UTF-8 accepted
- if ((extra == 2 && cp < 0x800) ||
+ if ((extra == 2 && cp < 0x80) ||
@ format/CFBase.cpp: NaN numbers no longer equal each other
- if (a.isFloat && b.isFloat) return a.real == b.real || (a.real != a.real && b.real != b.real);
+ if (a.isFloat && b.isFloat) return a.real == b.real;
@ format/CFNumber.cpp: a double too large for a float reported exact
- exact = false;
            } else {
                f = Float32(r);
+ exact = true;
            } else {
                f = Float32(r);
@ format/ComponentServices.cpp: a component with one open instance can be unregistered
- if (component->openInstances > 0) return paramErr;
+ if (component->openInstances > 1) return paramErr;
@ format/CFArray.cpp: the index one past the end is read
- std::size_t(index) >= a->items.size()) return nullptr;
+ std::size_t(index) > a->items.size()) return nullptr;
@ format/CFData.cpp: filling a fixed-capacity data exactly is refused
- have + std::size_t(length) > std::size_t(d->capacity)) return;
+ have + std::size_t(length) >= std::size_t(d->capacity)) return;
@ format/CFString.cpp: a copy cut short splits a UTF-8 sequence
- while (n > 0 && (UInt8(s->text[n]) & 0xC0) == 0x80) --n;
+ while (n > 0 && (UInt8(s->text[n]) & 0xC0) == 0xC0) --n;
@ format/CAStreamBasicDescription.cpp: channel counts no longer compared
- if (WildcardDiffers(x.mChannelsPerFrame, y.mChannelsPerFrame)) return false;
+ ;
@ format/CFDictionary.cpp: adding a value replaces an existing one
- if (onlyIfAbsent) return;
+ ;
@ host/TuneSegmenter.cpp: a short leading silence is held back by the gap rule
- if (mFirstRun || seconds(run) >= mSettings.minSilenceSeconds) return kSilence;
+ if (seconds(run) >= mSettings.minSilenceSeconds) return kSilence;
@ host/LevelMeter.cpp: a mean square is put in decibels as if it were an amplitude
- const double db = 10.0 * std::log10(sum / static_cast<double>(count));
+ const double db = 20.0 * std::log10(sum / static_cast<double>(count));
@ host/TuneSegmenter.cpp: cents computed as hundredths of an octave
- segment.centsOff = 1200.0 * std::log2(
+ segment.centsOff = 100.0 * std::log2(
@ host/cli/RecordWriter.cpp: NaN written into JSON as a bare token
- if (!std::isfinite(value)) {
+ if (std::isinf(value)) {
@ host/cli/RecordWriter.cpp: NaN written into CSV instead of an empty field
- if (std::isfinite(value)) appendNumber(mOut, value);
+ appendNumber(mOut, value);
@ host/cli/CommandLine.cpp: a block of zero frames accepted
- ->check(CLI::Range(1u, 65536u));
+ ->check(CLI::Range(0u, 65536u));
@ host/cli/CommandLine.cpp: NaN accepted as a number option
- if (end == text.c_str() || *end != '\0' || !std::isfinite(value))
+ if (end == text.c_str() || *end != '\0')
@ host/AudioFileReader.cpp: the second channel reads the first channel's samples
- const float* in = mInterleaved.data() + c;
+ const float* in = mInterleaved.data();
@ host/OutputFile.cpp: a failed command leaves its partial output behind
- if (!mCommitted) discard();
+ ;
@ host/BlockRenderer.cpp: the sample time does not advance
- if (status == noErr) mSampleTime += frames;
+ ;
@ core/AUBaseRender.cpp: one frame more than the slice limit is rendered
- if (inNumberFrames > GetMaxFramesPerSlice())
+ if (inNumberFrames > GetMaxFramesPerSlice() + 1)
@ core/AUBaseRender.cpp: listeners are not told of a render error
- PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
+ ;
@ core/AUBaseProperties.cpp: a short stream format record is read past its end
- if (inDataSize < kStreamFormatBytesRead) return kAudioUnitErr_InvalidPropertyValue;
+ if (inDataSize < kStreamFormatBytesRead - 4) return kAudioUnitErr_InvalidPropertyValue;
@ core/AUBaseProperties.cpp: property listeners are never told of a change
- if (result == noErr && notify) PropertyChanged(inID, inScope, inElement);
+ if (result == noErr && !notify) PropertyChanged(inID, inScope, inElement);
@ core/AUBaseState.cpp: a newer saved-state version is accepted
- version != kCurrentSavedStateVersion)
+ version > kCurrentSavedStateVersion)
@ core/AUBaseState.cpp: the manufacturer is compared with the subtype
- if (!MatchesCode(CFDictionaryGetValue(dict, kManufacturerString), desc.componentManufacturer))
+ if (!MatchesCode(CFDictionaryGetValue(dict, kManufacturerString), desc.componentSubType))
@ core/AUBaseParameters.cpp: an immediate event at a slice's first frame waits a slice
- holds = event.eventValues.immediate.bufferOffset <= sliceOffset;
+ holds = event.eventValues.immediate.bufferOffset < sliceOffset;
@ core/PropertyListenerList.cpp: removing with a refcon removes the listeners of every refcon
- (!inRefConSpecified || e.refCon == inRefCon);
+ true;
@ elements/AUScope.cpp: the element-name limit is off by one
- if (number >= limit) return false;
+ if (number > limit) return false;
@ elements/AUElement.cpp: a zero-length ramp divides by zero
- if (duration == 0) {
+ if (false) {
@ elements/AUBufferList.cpp: copying a list into one with fewer buffers is allowed
- if (abl.mNumberBuffers < count) throw OSStatus(-1);
+ if (abl.mNumberBuffers + 1 < count) throw OSStatus(-1);
@ effect/AUEffectBase.cpp: zero channels in and out accepted
- accepted = in == out && out != 0;
+ accepted = in == out;
@ effect/AUEffectBase.cpp: ending bypass no longer resets the kernels
- if (!bypass && IsInitialized()) Reset(kAudioUnitScope_Global, 0);
+ ;
@ analysis/ToneGrid.cpp: the last semitone of each octave is left out of the grid
- for (int semitone = 1; semitone < 12; ++semitone) {
+ for (int semitone = 1; semitone < 11; ++semitone) {
@ analysis/PitchEstimate.cpp: a NaN average period is published
- if (!(average > 0.0f)) return result;
+ if (average < 0.0f) return result;
@ unit/MarvexKernel.cpp: bin 0's missing lower band edge is published
- if (result.hasNote) mEffectUnit->SetParameter(kParam_LowerFrequency, result.lowerHz);
+ mEffectUnit->SetParameter(kParam_LowerFrequency, result.lowerHz);
@ unit/Marvex.cpp: parameter info one past the table is read
- if (inScope != kAudioUnitScope_Global || inParameterID >= kNumberOfParameters)
+ if (inScope != kAudioUnitScope_Global || inParameterID > kNumberOfParameters)
@ view/NeedleView.cpp: a NaN deviation reaches the needle
- if (!(deviation >= -1.0f && deviation <= 1.0f)) return;
+ if (deviation < -1.0f || deviation > 1.0f) return;
@ view/NeedleView.cpp: the drop's steep segment starts one point late
- if (magnitude >= 52) {
+ if (magnitude > 52) {
@ view/DrawingContext.cpp: a stroke with a non-finite line width is recorded
- if (!allFinite(record.elements) || !std::isfinite(record.lineWidth)) return;
+ if (!allFinite(record.elements)) return;
@ host/LevelGate.h: the gate closes at its opening level, without hysteresis
- } else if (reading.levelDbfs < mSettings.openDbfs - mSettings.hysteresisDb ||
+ } else if (reading.levelDbfs < mSettings.openDbfs ||
@ host/ScalaScale.cpp: a ratio's denominator is ignored
- return 1200.0 * std::log2(static_cast<double>(numerator) / static_cast<double>(denominator));
+ return 1200.0 * std::log2(static_cast<double>(numerator));
@ host/ScalaScale.cpp: comment lines are read as scale lines
- if (!line.empty() && line[0] == '!') continue;
+ if (!line.empty() && line[0] == '#') continue;
@ host/Temperament.cpp: the tonic is ignored
- const double tonicHz = referenceHz * std::exp2((tonic - 9) / 12.0);
+ const double tonicHz = referenceHz * std::exp2(-9 / 12.0);
@ host/Temperament.cpp: a note just below the next tonic is named in the octave below
- degree = 0;
        periods += 1.0;
+ degree = 0;
@ host/SignalConditioner.cpp: non-finite samples reach the analysis
- channel.clean[i] = std::isfinite(x) ? std::clamp(x, -kLargest, kLargest) : 0.0f;
+ channel.clean[i] = x;
@ host/SignalConditioner.cpp: the band never follows a new register while the gate stays open
- if (opening || (moved && ++channel.movedReadings >= kMoveReadings))
+ if (opening)
@ host/IntonationPlot.cpp: silences and unclear stretches are drawn as note bands
- if (segment.kind != TuneSegment::Kind::Note) continue;
+ ;
@ host/live/LiveEngine.cpp: every input's readings are told as the first input's
- reading.channel = static_cast<std::uint32_t>(i);
+ reading.channel = 0;
@ host/live/JsonlDisplay.cpp: a note's end is stamped with its start time
- line["time"] = started ? news.startSeconds : news.endSeconds;
+ line["time"] = news.startSeconds;
@ lv2/TunerPlugin.cpp: a NaN control port value reaches the unit
- if (!std::isfinite(value)) return fallback;
+ ;
@ lv2/TunerPlugin.cpp: a fractional Precision reaches the unit
- if (setting.unit == kAudioUnitParameterUnit_Indexed) value = std::nearbyint(value);
+ ;
@ lv2/TunerPlugin.cpp: every slice of a long block analyses the block's start
- const float* slice[2] = {in[0] + done, channels > 1 ? in[1] + done : nullptr};
+ const float* slice[2] = {in[0], channels > 1 ? in[1] : nullptr};
@ lv2/ClassInfoState.cpp: a saved state of another type is read as the tuner's
- if (type != host.urid(LV2_ATOM__String) || size == 0 || size > kMaxStateBytes ||
+ if (size == 0 || size > kMaxStateBytes ||
@ lv2/ui/MarvexUI.cpp: the Precision control writes the pitch port
- [this](float precision) { writePort(kPortPrecision, precision); },
+ [this](float precision) { writePort(kPortPitch, precision); },
@ host/Biquad.h: two channels filtered as a pair hand the second one's state to the first
- a.mS1 = mS1[0];
+ a.mS1 = mS1[1];
EOF

# Parses MUTANTS into parallel arrays (one entry a mutant; snippets may span lines).
files=() whats=() olds=() news=()
parse() {
    local line mode=""
    while IFS= read -r line; do
        case "$line" in
            "@ "*)
                files+=("${line#@ }") && files[-1]=${files[-1]%%:*}
                whats+=("${line#*: }") olds+=("") news+=("") mode="" ;;
            "- "*) olds[-1]=${line#- } mode=old ;;
            "+ "*) news[-1]=${line#+ } mode=new ;;
            *)
                if [[ $mode == old ]]; then olds[-1]+=$'\n'$line; else news[-1]+=$'\n'$line; fi ;;
        esac
    done <<<"$MUTANTS"
}
parse

# Replaces the one occurrence of a snippet (whitespace at its ends ignored); exit 3 if it does
# not occur exactly once.
apply() {
    perl -e '
        my ($file, $old, $new) = @ARGV;
        local $/; open my $in, "<", $file or exit 3; my $text = <$in>; close $in;
        my $count = () = $text =~ /\Q$old\E/g;
        exit 3 if $count != 1;
        substr($text, index($text, $old), length $old) = $new;
        open my $out, ">", $file or die "$file: $!"; print $out $text; close $out;' "$@"
}

if [[ ${1:-} == --check ]]; then
    bad=0
    for i in "${!files[@]}"; do
        f=$root/${files[i]} tmp=$(mktemp)
        if [[ -f $f ]] && cp "$f" "$tmp" && apply "$tmp" "${olds[i]}" "${news[i]}"; then
            echo "$((i + 1)) applies: ${files[i]}: ${whats[i]}"
        else
            echo "$((i + 1)) NOT APPLICABLE: ${files[i]}: ${whats[i]}"
            bad=1
        fi
        rm -f "$tmp"
    done
    exit $bad
fi

selected=()
if [[ $# -gt 0 ]]; then
    for n in "$@"; do selected+=($((n - 1))); done
else
    selected=("${!files[@]}")
fi

src=$work/src bld=$work/build
if [[ -n ${MUTANT_IN_PLACE:-} ]]; then
    src=$root bld=$root/${BUILD_DIR:-build}
    mkdir -p "$work"
    [[ -f $bld/CMakeCache.txt ]] || { echo "no built tree in $bld"; exit 1; }
else
    mkdir -p "$src" "$bld"
    # The tree under test (as committed at MUTANT_REV, else the working tree's files that git knows)
    # is staged, and only files whose content differs are copied over, so the build stays incremental.
    rm -rf "$work/stage" && mkdir -p "$work/stage"
    if [[ -n ${MUTANT_REV:-} ]]; then
        git archive "$MUTANT_REV" | tar -xf - -C "$work/stage"
    else
        git ls-files -co --exclude-standard -z | xargs -0 tar -cf - | tar -xf - -C "$work/stage"
    fi
    (cd "$work/stage" && find . -type f | sed 's|^\./||' | sort) >"$work/files"
    while IFS= read -r f; do
        if ! cmp -s "$work/stage/$f" "$src/$f"; then
            mkdir -p "$(dirname "$src/$f")" && cp "$work/stage/$f" "$src/$f"
        fi
    done <"$work/files"
    (cd "$src" && find . -type f | sed 's|^\./||' | sort | comm -23 - "$work/files" | xargs -r rm -f)
fi
build() { cmake --build "$bld" -j "$jobs" >"$work/build.log" 2>&1; }
suite() {
    # format_check reads sources, not behaviour; a planted fault may hang, hence the timeout.
    ctest --test-dir "$bld" -E '^format_check$' --stop-on-failure --timeout 300 \
        -j "$jobs" >"$work/test.log" 2>&1
}
if [[ ! -f $bld/CMakeCache.txt ]]; then
    cmake -S "$src" -B "$bld" -DMARVEX_BENCH=OFF >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; exit 1; }
fi
build || { echo "the unmutated tree does not build: $work/build.log"; exit 1; }
suite || { echo "the unmutated suite fails: $work/test.log"; exit 1; }

killed=0 total=0 survivors=() unusable=()
for i in "${selected[@]}"; do
    n=$((i + 1)) f=$src/${files[i]}
    label="$n ${files[i]}: ${whats[i]}"
    if [[ ! -f $f ]]; then
        echo "not applicable (no such file): $label"; unusable+=("$label"); continue
    fi
    cp "$f" "$work/original"
    trap 'cp "$work/original" "$f"' EXIT
    if ! apply "$f" "${olds[i]}" "${news[i]}"; then
        echo "not applicable (snippet not found once): $label"; unusable+=("$label"); continue
    fi
    if ! build; then
        echo "does not build: $label"; unusable+=("$label")
    else
        total=$((total + 1))
        if suite; then
            echo "SURVIVED: $label"; survivors+=("$label")
        else
            killed=$((killed + 1))
            by=$(grep -m1 '[*][*][*]' "$work/test.log" | grep -o '#[0-9]*: [^ ]*' | sed 's/.*: //' || true)
            echo "killed (by ${by:-a test}): $label"
        fi
    fi
    cp "$work/original" "$f"  # a fresh time stamp, so the next build recompiles it
    trap - EXIT
done
build || true
echo
if [[ ${#survivors[@]} -gt 0 ]]; then printf 'survived: %s\n' "${survivors[@]}"; fi
if [[ ${#unusable[@]} -gt 0 ]]; then printf 'not run: %s\n' "${unusable[@]}"; fi
echo "$killed/$total mutants killed"
exit
}
