# Renders one note list into an Ogg Vorbis file:
#   note list -> MIDI (drelk2-audiogen midi) -> float render (fluidsynth)
#   -> cut, faded, levelled 16-bit WAV (drelk2-audiogen master) -> Ogg Vorbis (oggenc).
# Run by the build, and by the tests to check that a render repeats byte for byte:
#   cmake -D AUDIOGEN=... -D FLUIDSYNTH=... -D OGGENC=... -D SOUNDFONT=... -D SCORE=x.txt
#         -D WORK=dir -D OUTPUT=x.ogg -P RenderMusic.cmake
foreach(var AUDIOGEN FLUIDSYNTH OGGENC SOUNDFONT SCORE WORK OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RenderMusic.cmake needs -D ${var}=...")
  endif()
endforeach()

get_filename_component(name ${SCORE} NAME_WE)
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${WORK} ${output_dir})
set(midi ${WORK}/${name}.mid)
set(raw ${WORK}/${name}.raw)
set(wav ${WORK}/${name}.wav)
# The Ogg stream's serial number, fixed by the piece's name so that every build writes the
# same bytes (oggenc would otherwise pick a random one).
string(MD5 name_hash ${name})
string(SUBSTRING ${name_hash} 0 7 name_hash)
math(EXPR serial "0x${name_hash}" OUTPUT_FORMAT DECIMAL)

function(run step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name}: ${step} failed (${result}):\n${out}${err}")
  endif()
endfunction()

run("writing the MIDI file" ${AUDIOGEN} midi ${SCORE} ${midi})
# Float output: nothing is clipped or rounded before mastering. One core, so the voices are
# always mixed in the same order.
run("fluidsynth" ${FLUIDSYNTH} -n -i -q -F ${raw} -T raw -O float -E little -r 44100 -g 0.6
    -o synth.cpu-cores=1 -o synth.polyphony=512
    -o synth.reverb.room-size=0.62 -o synth.reverb.damp=0.35 -o synth.reverb.width=0.9
    -o synth.reverb.level=0.75 -o synth.chorus.level=1.2
    ${SOUNDFONT} ${midi})
run("mastering" ${AUDIOGEN} master ${SCORE} ${raw} ${wav})
# Quality 4 (about 128 kbit/s): clean synth highs at a size that keeps the data file small.
# No date or other changing comment is written, so the file repeats byte for byte.
run("oggenc" ${OGGENC} -Q -q 4 -s ${serial} -o ${OUTPUT}.part ${wav})
file(RENAME ${OUTPUT}.part ${OUTPUT})
file(REMOVE ${raw} ${wav})
