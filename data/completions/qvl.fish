# fish completion for qvl: commands, options, drive letters from `qvl drives` and search
# texts from `qvl history`.

function __qvl_letters
    qvl drives 2>/dev/null | string replace -r ':.*' ''
end

set -l commands drives index update watch find history leave-out serve-changes
complete -c qvl -f
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a drives -d 'One line per drive: letter, type, root'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a index -d 'Rebuild the index of those drives'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a update -d 'Bring the index up to date'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a watch -d 'Keep the index up to date'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a find -d 'Folders whose name contains TEXT'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a history -d 'The search history'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a leave-out -d 'The folders every index leaves out'
complete -c qvl -n "__fish_seen_subcommand_from leave-out; and not __fish_seen_subcommand_from add remove" -a 'add remove'
complete -c qvl -n "__fish_seen_subcommand_from add remove; and not __fish_seen_subcommand_from name path fs" -a 'name path fs'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -a serve-changes -d 'The system change service (as root)'
complete -c qvl -n "__fish_seen_subcommand_from serve-changes" -l socket -r -d 'Where to listen'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -l help -d 'Print the usage'
complete -c qvl -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version'
complete -c qvl -n "__fish_seen_subcommand_from index update watch" -a '(__qvl_letters)' -d Drive
complete -c qvl -n "__fish_seen_subcommand_from history" -l clear -d 'Empty the search history'
complete -c qvl -n "__fish_seen_subcommand_from find history" -s N -l literal -d 'Print paths as they are, also to a terminal'
complete -c qvl -n "__fish_seen_subcommand_from find" -s e -d 'The name is exactly TEXT'
complete -c qvl -n "__fish_seen_subcommand_from find" -s d -x -a '(__qvl_letters)' -d 'Only on those drives'
complete -c qvl -n "__fish_seen_subcommand_from find" -s 0 -d 'A NUL after each path'
complete -c qvl -n "__fish_seen_subcommand_from find" -s c -d 'Only how many'
complete -c qvl -n "__fish_seen_subcommand_from find" -s l -x -d 'Stop after N folders'
complete -c qvl -n "__fish_seen_subcommand_from find" -a '(qvl history 2>/dev/null)' -d 'Past search'
