# zsh -f complete.zsh FPATH_DIR OUT "words to complete"
# Runs an interactive zsh on a pseudo-terminal, types the words and Tab, and writes every
# match the completion system offers to OUT, one a line.
zmodload zsh/zpty || exit 2
dir=$1 out=$2 line=$3
: > $out
zpty z zsh -f -i
zpty -w z "PROMPT=''; fpath=($dir \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -w z "compadd() { local -a hits; builtin compadd -A hits \"\$@\"; print -rl -- \$hits >> $out; builtin compadd \"\$@\" }"
zpty -w z "zstyle ':completion:*' menu no; echo ready > $out.ready"
for i in {1..100}; do [[ -e $out.ready ]] && break; sleep 0.05; done
zpty -n -w z "$line"$'\t'
for i in {1..100}; do [[ -s $out ]] && break; sleep 0.05; done
sleep 0.2
zpty -d z
rm -f $out.ready
