# fish completion for quenlo-cli; installed as
# share/fish/vendor_completions.d/quenlo-cli.fish.

# The command (and the package subcommand) given so far: the words that are
# neither options nor the value of --package.
function __quenlo_cli_words
    set -l tokens (commandline -opc)
    set -e tokens[1]
    set -l skip 0
    for token in $tokens
        if test $skip = 1
            set skip 0
        else if test "$token" = --package
            set skip 1
        else if not string match -q -- '-*' $token
            echo $token
        end
    end
end

function __quenlo_cli_command
    set -l words (__quenlo_cli_words)
    if test (count $argv) = 0
        test (count $words) = 0
    else
        test "$words[1]" = "$argv[1]"
    end
end

# Folders, and the files that end in one of the given suffixes.
function __quenlo_cli_files
    set -l token (string replace -r -- '^--[a-z-]+=' '' (commandline -ct))
    for path in $token*
        if test -d $path
            echo $path/
        else
            for suffix in $argv
                string match -q -- "*$suffix" $path; and echo $path
            end
        end
    end
end

complete -c quenlo-cli -f

# Global options, before the command.
complete -c quenlo-cli -n '__quenlo_cli_command' -l package -x -a '(__quenlo_cli_files .plist)' -d 'The package folder, or its settings file'
complete -c quenlo-cli -n '__quenlo_cli_command' -l verbose -d 'Show the diagnostic lines of the printer exchanges'
complete -c quenlo-cli -n '__quenlo_cli_command' -s h -l help -d 'Show the help'
complete -c quenlo-cli -n '__quenlo_cli_command' -l version -d 'Show the version'

complete -c quenlo-cli -n '__quenlo_cli_command' -a list -d "List the printers of the package's model"
complete -c quenlo-cli -n '__quenlo_cli_command' -a update -d 'Send the package to printers, many at once'
complete -c quenlo-cli -n '__quenlo_cli_command' -a package -d 'Check a package before shipping it'
complete -c quenlo-cli -n '__quenlo_cli_command' -a history -d 'Show past firmware updates, newest first'

# Search options of list and update.
for command in list update
    set -l when "__quenlo_cli_command $command"
    complete -c quenlo-cli -n $when -l community -x -d 'SNMP community (default: orchid)'
    complete -c quenlo-cli -n $when -l subnet -x -d 'Also ask every host of this IPv4 range'
    complete -c quenlo-cli -n $when -l address -x -d 'Also ask this IPv4 or IPv6 address'
    complete -c quenlo-cli -n $when -l no-broadcast -d 'Only --subnet and --address are asked'
    complete -c quenlo-cli -n $when -l usb -d 'The attached USB printer of the model'
    complete -c quenlo-cli -n $when -s h -l help -d 'Show the help'
end

complete -c quenlo-cli -n '__quenlo_cli_command list' -l json -d 'Print the printers as JSON'
complete -c quenlo-cli -n '__quenlo_cli_command list' -l csv -d 'Print the printers as CSV'

complete -c quenlo-cli -n '__quenlo_cli_command update' -l all -d 'Every printer that list finds'
complete -c quenlo-cli -n '__quenlo_cli_command update' -l parallel -x -d 'Printers updated at once (1 to 64)'
complete -c quenlo-cli -n '__quenlo_cli_command update' -l verify -d 'Wait for each printer to come back and read its version'
complete -c quenlo-cli -n '__quenlo_cli_command update' -l verify-timeout -x -d 'Seconds to wait for it'
complete -c quenlo-cli -n '__quenlo_cli_command update' -l report -x -a '(__quenlo_cli_files .json .csv)' -d 'Write a report (.json or .csv)'
complete -c quenlo-cli -n '__quenlo_cli_command update' -l metrics -x -a '(__quenlo_cli_files .prom)' -d "Write the run's figures for Prometheus"
complete -c quenlo-cli -n '__quenlo_cli_command update' -l dry-run -d 'Find and ask the printers, send nothing'

complete -c quenlo-cli -n '__quenlo_cli_command package; and test (count (__quenlo_cli_words)) = 1' -a check -d 'Check the package before shipping it'
complete -c quenlo-cli -n '__quenlo_cli_command package' -l write-checksums -d 'Add or renew the SHA256 keys'
complete -c quenlo-cli -n '__quenlo_cli_command package' -s h -l help -d 'Show the help'

complete -c quenlo-cli -n '__quenlo_cli_command history' -l json -d 'Print the history as JSON'
complete -c quenlo-cli -n '__quenlo_cli_command history' -s h -l help -d 'Show the help'
