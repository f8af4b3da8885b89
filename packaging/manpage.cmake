# cmake -DCLI=zeltfit-cli -DHELP2MAN=help2man -DVERSION=1.0 -DSHARE=/usr/share/... \
#       -DOUTPUT=zeltfit-cli.1 -P manpage.cmake
# The man page of zeltfit-cli from its own --help, with a COMMANDS section of each command's
# --help and a FILES section. The defaults shown are those without a configuration file, the
# user's data folder reads "~" and the log's folder "/tmp": HOME is "~" and neither
# XDG_DATA_HOME nor TMPDIR is set while the help is taken.
set(ENV{HOME} "~")
unset(ENV{XDG_DATA_HOME})
unset(ENV{TMPDIR})

set(include "[COMMANDS]\n")
foreach(command species levels lines table map fit "batch map" "batch fit")
    separate_arguments(words UNIX_COMMAND "${command}")
    execute_process(COMMAND ${CLI} ${words} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\\" "\\e" help "${help}")
    string(APPEND include ".SS \"${command}\"\n.nf\n${help}.fi\n")
endforeach()
# The roff "\&" before the folder: help2man reads a line that begins with "/" as a pattern
# that places the section.
string(APPEND include "[FILES]
.TP
~/.local/share/Zelt fit 1.0/zeltfit.ini
the configuration file: the database folder, the species and the last settings of the
window, copied from the template on the window's first start
.TP
\\&${SHARE}/
the template zeltfit.ini, the demo argon database and its sample measurements
")
file(WRITE ${OUTPUT}.include "${include}")

execute_process(
    COMMAND ${HELP2MAN} --no-info --section=1 --version-string=${VERSION}
            "--name=fit self-absorbed emission lines from the command line"
            --include=${OUTPUT}.include --output=${OUTPUT} ${CLI}
    COMMAND_ERROR_IS_FATAL ANY)
