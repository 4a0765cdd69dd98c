# fish completion for zimbrel-control
set -l commands on off toggle status watch --help
complete -c zimbrel-control -f
complete -c zimbrel-control -n "not __fish_seen_subcommand_from $commands" -a on -d 'Start the timer'
complete -c zimbrel-control -n "not __fish_seen_subcommand_from $commands" -a off -d 'Stop the timer'
complete -c zimbrel-control -n "not __fish_seen_subcommand_from $commands" -a toggle -d 'Start or stop the timer'
complete -c zimbrel-control -n "not __fish_seen_subcommand_from $commands" -a status -d 'Print what the timer runs for'
complete -c zimbrel-control -n "not __fish_seen_subcommand_from $commands" -a watch -d 'Print the status on every change'
complete -c zimbrel-control -n "not __fish_seen_subcommand_from $commands" -l help -d 'Show the commands'
complete -c zimbrel-control -n "__fish_seen_subcommand_from status watch" -l json -d 'Print the state as JSON'
