# bash completion for tarvo-cli

_tarvo_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="discover login version reboot snapshot record upgrade nvr-resolution net camera cloud site"
    local cmd="" sub="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -*) ;;
            *)
                if [[ -z $cmd ]]; then
                    cmd=${words[i]}
                elif [[ -z $sub && $cmd =~ ^(net|camera|cloud|site)$ ]]; then
                    sub=${words[i]}
                fi
                ;;
        esac
    done

    case $prev in
        --out | --password-file | --cloud-password-file) _filedir; return ;;
        --site) _filedir tarvo-site; return ;;
        --dhcp | --audio | --overlay) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --resolution) COMPREPLY=($(compgen -W "all 1mp" -- "$cur")); return ;;
        --substream) COMPREPLY=($(compgen -W "d1 cif" -- "$cur")); return ;;
        --stream) COMPREPLY=($(compgen -W "main d1 cif" -- "$cur")); return ;;
        --set) COMPREPLY=($(compgen -W "1024x768 1280x1024 1366x768 1400x900 1920x1080 3840x2160" \
            -- "$cur")); return ;;
        --sort) COMPREPLY=($(compgen -W "seq ip mac name note type" -- "$cur")); return ;;
        --seconds | --search-seconds | --timeout | --port | --type | --user | --password | \
            --ip | --mask | --gateway | --dns | --interface | --cloud-password)
            return ;;
    esac

    local search="--search-seconds" login="--user --password --password-file" opts=""
    case $cmd in
        "") COMPREPLY=($(compgen -W "$commands --json --help --version" -- "$cur")); return ;;
        discover) opts="--seconds --interface --sort --csv --type --name --subnet --other-subnet" ;;
        login | reboot) opts="--port --type $search $login" ;;
        version) opts="--port --type $search" ;;
        snapshot) opts="--out --port $login --stream --type --timeout" ;;
        record) opts="--out --port $login --stream --type --seconds --timeout" ;;
        upgrade) opts="--nvr --parallel --canary --keep-going --wait --site --no-wait --type $search --port $login" ;;
        nvr-resolution) opts="--port --type $search --set" ;;
        net | camera | cloud | site)
            if [[ -z $sub ]]; then
                case $cmd in
                    net) opts="get set assign" ;;
                    camera) opts="get set fix-mac" ;;
                    cloud) opts="get set" ;;
                    site) opts="status plan apply verify report --site" ;;
                esac
                COMPREPLY=($(compgen -W "$opts --help" -- "$cur"))
                return
            fi
            case $cmd/$sub in
                net/get) opts="$search" ;;
                net/set) opts="$search $login --ip --mask --gateway --dns --dhcp --audio" ;;
                net/assign) opts="$login --start --mask --gateway --dns --all --dry-run --search-seconds --type --name --subnet --other-subnet" ;;
                camera/get) opts="$search --port" ;;
                camera/fix-mac) opts="$search" ;;
                camera/set) opts="$search --port --overlay --resolution --substream" ;;
                cloud/get) opts="$search --port $login" ;;
                cloud/set) opts="$search --port $login --cloud-password --cloud-password-file" ;;
                site/status) opts="--site --seconds --csv" ;;
                site/plan) opts="--site import show" ;;
                site/apply) opts="--site --dry-run --search-seconds $login" ;;
                site/verify) opts="--site --parallel --seconds --timeout --port --search-seconds $login" ;;
                site/report) opts="--site --out" ;;
            esac
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts --json --help" -- "$cur"))
    elif [[ $cmd == upgrade || $cmd/$sub == site/plan ]]; then
        _filedir
    fi
} &&
    complete -F _tarvo_cli tarvo-cli
